// The stand-in's timed callbacks (HALSIM_RegisterTimedCallback): when each
// runs next, and what a finished run leaves. Not thread-safe: Timing's lock
// guards it.
#pragma once

#include <stdint.h>

#include <memory>
#include <thread>

#include "HandleTable.h"
#include "hal/simulation/MockHooks.h"

namespace hal {

struct TimedCallback {
  int32_t handle = 0;
  uint64_t order = 0;  // creation order, shared with the notifiers
  uint64_t nextUs = 0;
  HALSIM_TimedCallback function = nullptr;
  void* param = nullptr;
  bool running = false;
  std::thread::id runningThread;
  bool cancelled = false;

  // Neither cancelled nor running now.
  bool IsWaiting() const { return !cancelled && !running; }
};

class CallbackTable {
 public:
  using Ptr = std::shared_ptr<TimedCallback>;

  // Gives the callback its handle; false once every handle was given out.
  bool Add(const Ptr& callback);
  Ptr Find(int32_t handle) const { return m_table.Find(handle); }
  void Erase(int32_t handle) { m_table.Erase(handle); }

  // The waiting callback due first, null when none waits.
  Ptr Earliest() const;
  // After a run at nowUs that asked for nextUs: erased when it asked for 0 or
  // was cancelled, otherwise due again after nowUs.
  void Finish(const Ptr& callback, uint64_t nextUs, uint64_t nowUs);

  // f(callback pointer) in creation order.
  template <typename F>
  void ForEach(F f) const {
    m_table.ForEach([&](int32_t, const Ptr& callback) { f(callback); });
  }

 private:
  HandleTable<int32_t, TimedCallback> m_table;
};

}  // namespace hal
