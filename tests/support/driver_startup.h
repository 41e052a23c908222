// Test helpers for the driver's start: the driver's two threads started by
// the test itself, a bounded wait for the device library's start-up thread
// (started by the first device object) to end, so that its sweep of zero
// frames cannot land in the middle of what a test observes, and a watch on
// the bus that steps the clock until the setpoint thread serves given devices.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>
#include <hal/simulation/CanData.h>
#include <hal/simulation/MockHooks.h>
#include <wpi/SafeThread.h>

#include "tavrix/TavrixDriver.h"
#include "tavrix/Wire.h"
#include "wall_clock.h"

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

// The device library's start-up thread sweeps every setpoint id and then
// starts the driver's threads. StartThreads waits for the sweep's last call,
// starts the threads itself (which does nothing when they run already), then
// steps the clock until the setpoint thread has served each given device, so
// that from then on every step finds the thread parked and the device served
// at its period. A device registered after the thread's last scan is first
// served within the thread's idle wake. The waits are for events; their wall
// bounds only turn a broken driver into a failure instead of a hang.
class DriverStartup {
 public:
  // Call before the first device of the process is constructed.
  static void Watch() { GetState(); }

  static void StartThreads(std::initializer_list<int32_t> devices) {
    State& st = GetState();
    // Paused, the start-up thread makes its moves only inside a step.
    if (HALSIM_IsTimingPaused()) HALSIM_StepTiming(0);
    std::unique_lock<std::mutex> lock(st.mutex);
    ASSERT_TRUE(st.cond.wait_for(lock, WallBound(std::chrono::seconds(20)), [&] {
      return st.swept;
    })) << "the start-up sweep did not end";
    lock.unlock();
    StartDriverThreads();
    const auto allServed = [&] {
      for (const int32_t d : devices) {
        if (st.served[static_cast<size_t>(d & 63)] == 0) return false;
      }
      return true;
    };
    constexpr int kMaxSteps = 2 * static_cast<int>(zem::wire::kSetpointIdleWakeUs / kStepUs);
    for (int step = 0; step < kMaxSteps; ++step) {
      lock.lock();
      // A thread that is still starting gets a moment to make its first pass.
      const bool served =
          st.cond.wait_for(lock, WallBound(std::chrono::milliseconds(5)), allServed);
      lock.unlock();
      if (served) return;
      HALSIM_StepTiming(kStepUs);
    }
    FAIL() << "the setpoint thread did not serve the devices";
  }

 private:
  static constexpr uint64_t kStepUs = 10000;
  struct State {
    std::mutex mutex;
    std::condition_variable cond;
    bool swept = false;
    std::array<uint64_t, 64> served{};  // setpoint frames after the sweep, per device
  };
  // Never destroyed: the callback may run until process exit.
  static State& GetState() {
    static State* state = [] {
      auto* st = new State;
      HALSIM_RegisterCanFrameCallback(&DriverStartup::OnFrame, st);
      return st;
    }();
    return *state;
  }
  static void OnFrame(void* param, uint64_t, uint32_t id, const uint8_t*, uint8_t size,
                      int32_t periodMs, HAL_Bool fromRobot) {
    if (!fromRobot || !zem::wire::IsControllerId(id)) return;
    auto* st = static_cast<State*>(param);
    {
      std::lock_guard<std::mutex> lock(st->mutex);
      // The sweep ends by stopping the repetition of API id 19 of device 62.
      if (periodMs < 0 && id == zem::wire::ComposeId(62, 19)) st->swept = true;
      const int32_t api = zem::wire::ApiOf(id);
      const bool setpointApi = zem::wire::IsSetpointSenderApi(api);
      if (st->swept && setpointApi && size == 8) {
        ++st->served[static_cast<size_t>(zem::wire::DeviceOf(id))];
      }
    }
    st->cond.notify_all();
  }
};

}  // namespace tavrix_test
