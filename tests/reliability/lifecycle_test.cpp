// Loading and unloading the driver library: fifty dlopen/dlclose rounds, each
// starting both threads and seeing their frames, alternately with the clock
// paused and running. Every round must find a fresh library (registry word
// 0, so the previous copy really went away), and after dlclose no copy may
// stay mapped, no thread of it may remain and no frame may follow.
#include <gtest/gtest.h>
#include <hal/simulation/MockHooks.h>

#include "driver_loader.h"

namespace {

using tavrix_test::CountProcessThreads;
using tavrix_test::DriverLibraryMapped;
using tavrix_test::FrameCounter;
using tavrix_test::LoadedDriver;
using tavrix_test::WaitForProcessThreads;

constexpr int kRounds = 50;
constexpr int32_t kDevice = 3;
constexpr int32_t kPeriodMs = 10;
constexpr int kDriverThreads = 2;
constexpr uint64_t kStepUs = 60000;  // two heartbeats and several setpoint frames

void SetClockPaused(bool paused) {
  if (paused) {
    HALSIM_PauseTiming();
  } else {
    HALSIM_ResumeTiming();
  }
}

TEST(ReliabilityLifecycle, FiftyLoadsAndUnloadsWithBothThreadsRunning) {
  FrameCounter frames(kDevice);
  tavrix_test::StartRuntimeHelperThreads();
  const int threadsBefore = CountProcessThreads();
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE(::testing::Message() << "round " << round);
    const bool paused = round % 2 == 0;
    SetClockPaused(paused);
    LoadedDriver driver;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): read right after the failing call, same thread
    ASSERT_TRUE(driver.Loaded()) << dlerror();
    ASSERT_EQ(driver.Registry(), 0u) << "the previous load's registry is still there: "
                                        "dlclose did not unload the library";
    frames.Reset();
    driver.Serve(kDevice, kPeriodMs);
    EXPECT_EQ(driver.HeartbeatStartResult(), 1);
    EXPECT_EQ(driver.SetDriverStartResult(), 0);
    EXPECT_EQ(CountProcessThreads(), threadsBefore + kDriverThreads);
    if (paused) HALSIM_StepTiming(kStepUs);
    ASSERT_TRUE(frames.WaitForBoth(2)) << "the threads of this load sent nothing";

    // NOLINTNEXTLINE(concurrency-mt-unsafe): read right after the failing call, same thread
    ASSERT_TRUE(driver.Close()) << dlerror();
    EXPECT_FALSE(DriverLibraryMapped()) << "the library stays mapped after dlclose";
    EXPECT_EQ(WaitForProcessThreads(threadsBefore), threadsBefore)
        << "a thread outlived the library";
    // Nothing of the unloaded library may send any more.
    HALSIM_PauseTiming();
    frames.Reset();
    HALSIM_StepTiming(kStepUs);
    EXPECT_EQ(frames.Heartbeats(), 0u);
    EXPECT_EQ(frames.Setpoints(), 0u);
  }
}

}  // namespace
