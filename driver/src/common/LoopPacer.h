// Waits of the driver's two loops: on the loop's own HAL notifier alarm, or,
// when the platform could not give a notifier, on the thread's condition
// variable for the same span of wall-clock time, so a loop never spins.
#pragma once

#include <cstdint>

#include <hal/Types.h>

#include "common/PacedThread.h"

namespace zem::driver {

class LoopPacer {
 public:
  // Creates the notifier; meant to live for the whole of a thread's Main.
  explicit LoopPacer(PacedThread& thread);
  // Stops and cleans up the notifier.
  ~LoopPacer();
  LoopPacer(const LoopPacer&) = delete;
  LoopPacer& operator=(const LoopPacer&) = delete;

  // Returns once the FPGA clock reaches triggerUs (at once if it already has).
  void WaitUntil(uint64_t triggerUs);

  bool HasNotifier() const { return m_hasNotifier; }

 private:
  void WaitWithoutNotifier(uint64_t triggerUs);

  PacedThread& m_thread;
  HAL_NotifierHandle m_notifier = HAL_kInvalidHandle;
  bool m_hasNotifier = false;
};

}  // namespace zem::driver
