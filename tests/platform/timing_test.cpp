// Simulated clock and notifiers: pausing, synchronous stepping, notifier semantics.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "hal/Errors.h"
#include "hal/HAL.h"
#include "hal/simulation/MockHooks.h"
#include "wpi/SafeThread.h"

namespace {

uint64_t Now() {
  int32_t status = 0;
  return HAL_GetFPGATime(&status);
}

// Wake-up log shared by notifier loops: (simulated time, loop id).
class WakeLog {
 public:
  void Add(uint64_t timeUs, int id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.emplace_back(timeUs, id);
  }
  std::vector<std::pair<uint64_t, int>> Entries() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries;
  }
  std::vector<uint64_t> TimesOf(int id) const {
    std::vector<uint64_t> times;
    for (const auto& entry : Entries()) {
      if (entry.second == id) times.push_back(entry.first);
    }
    return times;
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<std::pair<uint64_t, int>> m_entries;
};

// A thread that wakes every periodUs on its own notifier, first at startUs + periodUs,
// and logs the clock at each wake-up, like the library's periodic threads.
class PeriodicLoop {
 public:
  PeriodicLoop(WakeLog& log, int id, uint64_t startUs, uint64_t periodUs)
      : m_log(log), m_id(id), m_startUs(startUs), m_periodUs(periodUs) {
    int32_t status = 0;
    m_notifier = HAL_InitializeNotifier(&status);
    m_thread = std::thread([this] { Run(); });
  }
  ~PeriodicLoop() {
    int32_t status = 0;
    HAL_StopNotifier(m_notifier, &status);
    m_thread.join();
    HAL_CleanNotifier(m_notifier, &status);
  }

 private:
  void Run() {
    int32_t status = 0;
    uint64_t next = m_startUs + m_periodUs;
    while (true) {
      HAL_UpdateNotifierAlarm(m_notifier, next, &status);
      if (HAL_WaitForNotifierAlarm(m_notifier, &status) == 0) return;
      m_log.Add(Now(), m_id);
      next += m_periodUs;
    }
  }

  WakeLog& m_log;
  int m_id;
  uint64_t m_startUs;
  uint64_t m_periodUs;
  HAL_NotifierHandle m_notifier = HAL_kInvalidHandle;
  std::thread m_thread;
};

std::vector<uint64_t> Multiples(uint64_t startUs, uint64_t periodUs, uint64_t untilUs) {
  std::vector<uint64_t> out;
  for (uint64_t t = startUs + periodUs; t <= untilUs; t += periodUs) out.push_back(t);
  return out;
}

TEST(PlatformClock, PausedClockMovesOnlyBySteps) {
  HALSIM_PauseTiming();
  EXPECT_TRUE(HALSIM_IsTimingPaused());
  const uint64_t start = Now();
  EXPECT_EQ(Now(), start);
  HALSIM_StepTiming(1234);
  EXPECT_EQ(Now(), start + 1234);
  HALSIM_StepTiming(0);
  EXPECT_EQ(Now(), start + 1234);
}

TEST(PlatformClock, ResumeContinuesFromTheFrozenValue) {
  HALSIM_PauseTiming();
  const uint64_t frozen = Now() + 5000;
  HALSIM_StepTiming(5000);
  // Let real time pass while paused (a read that waits out its timeout on an empty bus).
  HAL_CANHandle handle =
      HAL_InitializeCAN(HAL_CAN_Man_kTeamUse, 1, HAL_CAN_Dev_kMiscellaneous, nullptr);
  uint8_t data[8];
  int32_t length = 0;
  uint64_t stamp = 0;
  int32_t status = 0;
  HAL_ReadCANPacketTimeout(handle, 1, data, &length, &stamp, 20, &status);
  EXPECT_EQ(Now(), frozen);

  const auto wallBefore = std::chrono::steady_clock::now();
  HALSIM_ResumeTiming();
  const uint64_t resumed = Now();
  const auto wallAfter = std::chrono::steady_clock::now();
  EXPECT_FALSE(HALSIM_IsTimingPaused());
  EXPECT_GE(resumed, frozen);
  const auto wallUs =
      std::chrono::duration_cast<std::chrono::microseconds>(wallAfter - wallBefore).count();
  EXPECT_LE(resumed - frozen, static_cast<uint64_t>(wallUs) + 1);  // no jump of the paused 20 ms
}

TEST(PlatformClock, StepWhileRunningAdvancesTheClock) {
  const uint64_t before = Now();
  HALSIM_StepTiming(10'000'000);
  EXPECT_GE(Now(), before + 10'000'000);
}

TEST(PlatformNotifier, LoopSteppedThroughASecondWakesAtExactTimes) {
  HALSIM_PauseTiming();
  const uint64_t start = Now();
  WakeLog log;
  PeriodicLoop loop(log, 1, start, 25'000);
  HALSIM_StepTiming(1'000'000);
  EXPECT_EQ(log.TimesOf(1), Multiples(start, 25'000, start + 1'000'000));
  EXPECT_EQ(Now(), start + 1'000'000);
}

// Logs each call at the clock's time, as id 3, every 50 ms.
uint64_t LoggingCallback(void* param, uint64_t nowUs) {
  static_cast<WakeLog*>(param)->Add(Now(), 3);
  return nowUs + 50'000;
}

TEST(PlatformNotifier, LoopsAndCallbacksRunOneAtATimeByDeadlineThenCreationOrder) {
  HALSIM_PauseTiming();
  const uint64_t start = Now();
  WakeLog log;
  PeriodicLoop fast(log, 1, start, 30'000);
  const int32_t callback = HALSIM_RegisterTimedCallback(start + 50'000, &LoggingCallback, &log);
  PeriodicLoop slow(log, 2, start, 50'000);
  HALSIM_StepTiming(300'000);
  HALSIM_CancelTimedCallback(callback);
  HALSIM_StepTiming(100'000);  // cancelled: no more calls

  // By time, and at one instant (150 ms, 300 ms) in the order of creation;
  // the callback runs on the stepping thread between the two loops.
  std::vector<std::pair<uint64_t, int>> expected;
  for (uint64_t t : Multiples(start, 30'000, start + 400'000)) expected.emplace_back(t, 1);
  for (uint64_t t : Multiples(start, 50'000, start + 300'000)) expected.emplace_back(t, 3);
  for (uint64_t t : Multiples(start, 50'000, start + 400'000)) expected.emplace_back(t, 2);
  std::stable_sort(expected.begin(), expected.end(),
                   [](const auto& x, const auto& y) { return x.first < y.first; });
  EXPECT_EQ(log.Entries(), expected);
}

TEST(PlatformNotifier, StepsInPiecesGiveTheSameWakeTimesAsOneStep) {
  HALSIM_PauseTiming();
  const uint64_t start = Now();
  WakeLog log;
  PeriodicLoop loop(log, 1, start, 10'000);
  for (int i = 0; i < 7; ++i) HALSIM_StepTiming(3'000);
  HALSIM_StepTiming(79'000);
  EXPECT_EQ(log.TimesOf(1), Multiples(start, 10'000, start + 100'000));
}

// The thread reads the clock itself before its first wait: a step that did not wait
// for it to park could move the clock first and lose its first wake-up.
TEST(PlatformNotifier, StepWaitsForAFreshThreadToReachItsFirstWait) {
  HALSIM_PauseTiming();
  const uint64_t start = Now();
  int32_t status = 0;
  HAL_NotifierHandle notifier = HAL_InitializeNotifier(&status);
  std::atomic<uint64_t> wokeAt{0};
  std::thread thread([&] {
    int32_t s = 0;
    HAL_UpdateNotifierAlarm(notifier, Now() + 1000, &s);
    wokeAt = HAL_WaitForNotifierAlarm(notifier, &s);
    HAL_UpdateNotifierAlarm(notifier, UINT64_MAX, &s);
    HAL_WaitForNotifierAlarm(notifier, &s);
  });
  HALSIM_StepTiming(1000);
  EXPECT_EQ(wokeAt.load(), start + 1000);
  HAL_StopNotifier(notifier, &status);
  thread.join();
  HAL_CleanNotifier(notifier, &status);
}

TEST(PlatformNotifier, StepZeroLetsAFreshThreadReachItsFirstWait) {
  HALSIM_PauseTiming();
  int32_t status = 0;
  HAL_NotifierHandle notifier = HAL_InitializeNotifier(&status);
  std::atomic<bool> reachedWait{false};
  std::thread thread([&] {
    int32_t s = 0;
    reachedWait = true;
    HAL_WaitForNotifierAlarm(notifier, &s);
  });
  HALSIM_StepTiming(0);
  EXPECT_TRUE(reachedWait.load());
  HAL_StopNotifier(notifier, &status);
  thread.join();
  HAL_CleanNotifier(notifier, &status);
}

// A SafeThread that creates its notifier only once it runs: the step must wait for it
// too (the library's threads are started this way just before a test steps).
class SelfPacedThread : public wpi::SafeThread {
 public:
  explicit SelfPacedThread(WakeLog* log) : m_log(log) {}
  void Main() override {
    int32_t status = 0;
    HAL_NotifierHandle notifier = HAL_InitializeNotifier(&status);
    uint64_t next = Now() + 10'000;
    while (m_active) {
      HAL_UpdateNotifierAlarm(notifier, next, &status);
      if (HAL_WaitForNotifierAlarm(notifier, &status) == 0) break;
      m_log->Add(Now(), 1);
      next += 10'000;
    }
    HAL_StopNotifier(notifier, &status);
    HAL_CleanNotifier(notifier, &status);
  }

 private:
  WakeLog* m_log;
};

TEST(PlatformNotifier, StepWaitsForAStartedSafeThreadToCreateAndParkItsNotifier) {
  HALSIM_PauseTiming();
  const uint64_t start = Now();
  WakeLog log;
  wpi::SafeThreadOwner<SelfPacedThread> owner;
  owner.Start(&log);
  HALSIM_StepTiming(100'000);
  EXPECT_EQ(log.TimesOf(1), Multiples(start, 10'000, start + 100'000));
  owner.Join();
}

TEST(PlatformNotifier, WaitReturnsAtOnceWhenTheAlarmHasPassed) {
  HALSIM_PauseTiming();
  int32_t status = 0;
  HAL_NotifierHandle notifier = HAL_InitializeNotifier(&status);
  HAL_UpdateNotifierAlarm(notifier, Now(), &status);
  EXPECT_EQ(HAL_WaitForNotifierAlarm(notifier, &status), Now());
  EXPECT_EQ(status, 0);
  HAL_CleanNotifier(notifier, &status);
}

TEST(PlatformNotifier, StopAndCleanWakeWaitersWhichThenReturnZero) {
  HALSIM_PauseTiming();
  for (bool clean : {false, true}) {
    SCOPED_TRACE(clean ? "clean" : "stop");
    int32_t status = 0;
    HAL_NotifierHandle notifier = HAL_InitializeNotifier(&status);
    HAL_UpdateNotifierAlarm(notifier, Now() + 1'000'000, &status);
    std::vector<uint64_t> results(2, 99);
    std::vector<std::thread> waiters;
    for (size_t i = 0; i < results.size(); ++i) {
      waiters.emplace_back([&, i] {
        int32_t s = 0;
        results[i] = HAL_WaitForNotifierAlarm(notifier, &s);
      });
    }
    HALSIM_StepTiming(0);  // both waiters parked
    if (clean) {
      HAL_CleanNotifier(notifier, &status);
    } else {
      HAL_StopNotifier(notifier, &status);
    }
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(results, (std::vector<uint64_t>{0, 0}));
    if (!clean) {
      HAL_UpdateNotifierAlarm(notifier, Now(), &status);  // a stopped notifier stays stopped
      EXPECT_EQ(HAL_WaitForNotifierAlarm(notifier, &status), 0u);
      HAL_CleanNotifier(notifier, &status);
    }
  }
}

TEST(PlatformNotifier, CancelledAlarmDoesNotFire) {
  HALSIM_PauseTiming();
  int32_t status = 0;
  HAL_NotifierHandle notifier = HAL_InitializeNotifier(&status);
  const uint64_t start = Now();
  std::atomic<uint64_t> result{99};
  HAL_UpdateNotifierAlarm(notifier, start + 1000, &status);
  HAL_CancelNotifierAlarm(notifier, &status);
  std::thread waiter([&] {
    int32_t s = 0;
    result = HAL_WaitForNotifierAlarm(notifier, &s);
  });
  HALSIM_StepTiming(5000);
  EXPECT_EQ(result.load(), 99u);
  HAL_UpdateNotifierAlarm(notifier, start + 6000, &status);
  HALSIM_StepTiming(1000);
  waiter.join();
  EXPECT_EQ(result.load(), start + 6000);
  HAL_CleanNotifier(notifier, &status);
}

// In real time, moving the alarm earlier wakes a waiter that was timed for the old one.
TEST(PlatformNotifier, UpdateWakesARealTimeWaiterForTheNewTime) {
  int32_t status = 0;
  HAL_NotifierHandle notifier = HAL_InitializeNotifier(&status);
  HAL_UpdateNotifierAlarm(notifier, Now() + 3'600'000'000ULL, &status);
  std::atomic<uint64_t> result{0};
  std::thread waiter([&] {
    int32_t s = 0;
    result = HAL_WaitForNotifierAlarm(notifier, &s);
  });
  HALSIM_StepTiming(0);
  const uint64_t newTrigger = Now();
  HAL_UpdateNotifierAlarm(notifier, newTrigger, &status);
  waiter.join();
  EXPECT_GE(result.load(), newTrigger);
  HAL_CleanNotifier(notifier, &status);
}

TEST(PlatformNotifier, InvalidHandlesAreReportedAndIgnored) {
  int32_t status = 0;
  HAL_NotifierHandle cleaned = HAL_InitializeNotifier(&status);
  HAL_CleanNotifier(cleaned, &status);
  for (HAL_NotifierHandle handle : {HAL_NotifierHandle{0}, HAL_NotifierHandle{-7}, cleaned}) {
    SCOPED_TRACE(handle);
    status = 0;
    HAL_UpdateNotifierAlarm(handle, 5, &status);
    EXPECT_EQ(status, HAL_HANDLE_ERROR);
    status = 0;
    HAL_CancelNotifierAlarm(handle, &status);
    EXPECT_EQ(status, HAL_HANDLE_ERROR);
    status = 0;
    EXPECT_EQ(HAL_WaitForNotifierAlarm(handle, &status), 0u);
    EXPECT_EQ(status, HAL_HANDLE_ERROR);
    status = 0;
    HAL_StopNotifier(handle, &status);
    EXPECT_EQ(status, HAL_HANDLE_ERROR);
    status = 0;
    HAL_CleanNotifier(handle, &status);
    EXPECT_EQ(status, HAL_HANDLE_ERROR);
  }
  HAL_StopNotifier(0, nullptr);  // a null status is tolerated
}

// A step does not hang on a notifier whose thread never comes back to its wait.
TEST(PlatformNotifier, StepIsBoundedWhenANotifierIsNeverWaitedOn) {
  HALSIM_PauseTiming();
  int32_t status = 0;
  HAL_NotifierHandle orphan = HAL_InitializeNotifier(&status);
  const uint64_t start = Now();
  HALSIM_StepTiming(2000);
  EXPECT_EQ(Now(), start + 2000);
  HAL_CleanNotifier(orphan, &status);
}

TEST(PlatformHal, InitializeIsIdempotentAcrossThreads) {
  std::vector<std::thread> threads;
  threads.reserve(4);
  std::atomic<int> ok{0};
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] { ok += HAL_Initialize(500, 0) ? 1 : 0; });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(ok.load(), 4);
  EXPECT_TRUE(HAL_Initialize(500, 0));
}

}  // namespace
