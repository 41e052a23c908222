// Utility library: text building and SafeThread owners (including ending a thread
// that waits on a notifier while the clock is paused).
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <string>

#include "hal/HAL.h"
#include "hal/simulation/MockHooks.h"
#include "wpi/SafeThread.h"
#include "wpi/SmallString.h"
#include "wpi/Twine.h"
#include "wpi/raw_ostream.h"

namespace {

TEST(PlatformText, StreamWritesStringsAndDecimalIntegers) {
  wpi::SmallString<8> text("x=");  // grows past its inline size
  wpi::raw_svector_ostream stream(text);
  const std::string name = "dev";
  stream << name << ' ' << wpi::StringRef("ref", 2) << ' ' << 0 << ' ' << INT_MIN << ' '
         << INT64_MIN << ' ' << UINT64_MAX << ' ' << 42u << ' ' << static_cast<const char*>(nullptr)
         << '|';
  EXPECT_EQ(stream.str().str(),
            "x=dev re 0 -2147483648 -9223372036854775808 18446744073709551615 42 |");
  EXPECT_EQ(text.str().str(), stream.str().str());
  EXPECT_STREQ(text.c_str(), stream.str().str().c_str());
}

TEST(PlatformText, TwineConcatenatesItsParts) {
  wpi::SmallString<16> small("small");
  const wpi::Twine twine = wpi::Twine("a") + std::string("b") + wpi::StringRef("c") + small +
                           wpi::Twine(-5) + wpi::Twine('!');
  EXPECT_EQ(twine.str(), "abcsmall-5!");
  EXPECT_EQ(wpi::Twine(static_cast<const char*>(nullptr)).str(), "");
}

class CountingThread : public wpi::SafeThread {
 public:
  explicit CountingThread(std::atomic<int>* runs) : m_runs(runs) {}
  void Main() override {
    ++*m_runs;
    std::unique_lock<wpi::mutex> lock(m_mutex);
    m_cond.wait(lock, [this] { return !m_active; });
  }
  int value = 7;

 private:
  std::atomic<int>* m_runs;
};

TEST(PlatformSafeThread, StartsOnceAndJoinEndsTheThread) {
  std::atomic<int> runs{0};
  wpi::SafeThreadOwner<CountingThread> owner;
  EXPECT_FALSE(owner);
  owner.Start(&runs);
  owner.Start(&runs);  // a thread is alive: nothing happens
  EXPECT_TRUE(owner);
  auto proxy = owner.GetThread();
  ASSERT_TRUE(proxy);
  EXPECT_EQ(proxy->value, 7);
  owner.Join();
  EXPECT_EQ(runs.load(), 1);
  EXPECT_FALSE(owner);
  owner.Start(&runs);  // a new thread once the old one is gone
  owner.Join();
  EXPECT_EQ(runs.load(), 2);
}

TEST(PlatformSafeThread, DestructorJoinsOrStopsAndMoveTransfersTheThread) {
  std::atomic<int> runs{0};
  {
    wpi::SafeThreadOwner<CountingThread> owner;
    owner.Start(&runs);
    wpi::SafeThreadOwner<CountingThread> other(std::move(owner));
    EXPECT_FALSE(owner);  // NOLINT(bugprone-use-after-move): checks the moved-from owner
    EXPECT_TRUE(other);
  }  // joins
  EXPECT_EQ(runs.load(), 1);
  // The detached thread may still run after this test: its counter outlives it.
  static std::atomic<int> detachedRuns{0};
  wpi::SafeThreadOwner<CountingThread>::Proxy detached(nullptr);
  {
    wpi::SafeThreadOwner<CountingThread> owner;
    owner.SetJoinAtExit(false);
    owner.Start(&detachedRuns);
    detached = owner.GetThread();
  }  // stops and detaches: the thread ends by itself
  ASSERT_TRUE(detached);
  EXPECT_FALSE(detached->m_active.load());
}

class NotifierLoop : public wpi::SafeThread {
 public:
  void Main() override {
    int32_t status = 0;
    HAL_NotifierHandle notifier = HAL_InitializeNotifier(&status);
    while (m_active) {
      HAL_UpdateNotifierAlarm(notifier, HAL_GetFPGATime(&status) + 3'600'000'000ULL, &status);
      HAL_WaitForNotifierAlarm(notifier, &status);
    }
    HAL_StopNotifier(notifier, &status);
    HAL_CleanNotifier(notifier, &status);
    ended = true;
  }
  std::atomic<bool> ended{false};
};

TEST(PlatformSafeThread, JoinEndsANotifierWaitWhileTimeIsPaused) {
  for (bool paused : {true, false}) {
    SCOPED_TRACE(paused);
    if (paused)
      HALSIM_PauseTiming();
    else
      HALSIM_ResumeTiming();
    wpi::SafeThreadOwner<NotifierLoop> owner;
    owner.Start();
    HALSIM_StepTiming(0);  // parked in its wait
    auto thread = owner.GetThread();
    owner.Join();
    EXPECT_TRUE(thread->ended.load());
  }
}

}  // namespace
