// Test helper: the driver's two threads started by the test itself, and a
// bounded wait for the device library's start-up thread (started by the first
// device object) to end, so that its sweep of zero frames cannot land in the
// middle of what a test observes.
#pragma once

#include <chrono>
#include <thread>

#include <hal/simulation/MockHooks.h>
#include <wpi/SafeThread.h>

#include "WallClock.h"
#include "tavrix/TavrixDriver.h"

namespace tavrix_test {

constexpr int kDriverThreads = 2;

inline void StartDriverThreads() {
  ZEM_CANTavrixRunHeartbeat();
  ZEM_CANTavrixRunSetDriver();
}

// True once only the driver's two threads run; false after a generous
// wall-clock bound (a hang, not a timing measurement). While time is paused the
// start-up thread makes its moves only inside a step: an empty step runs it.
inline bool WaitForStartupThreadToEnd() {
  if (HALSIM_IsTimingPaused()) HALSIM_StepTiming(0);
  const auto deadline = std::chrono::steady_clock::now() + WallBound(std::chrono::seconds(30));
  while (wpi::detail::GetRunningSafeThreadCount() > kDriverThreads) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

}  // namespace tavrix_test
