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

class CallbackTable : private HandleTable<int32_t, TimedCallback> {
 public:
  using HandleTable::Erase;
  using HandleTable::Find;
  // f(callback pointer) in creation order.
  using HandleTable::ForEach;
  using HandleTable::Ptr;

  // Gives the callback its handle; false once every handle was given out.
  bool Add(const Ptr& callback);

  // The waiting callback due first, null when none waits.
  Ptr Earliest() const;
  // After a run at nowUs that asked for nextUs: erased when it asked for 0 or
  // was cancelled, otherwise due again after nowUs.
  void Finish(const Ptr& callback, uint64_t nextUs, uint64_t nowUs);
};

}  // namespace hal
