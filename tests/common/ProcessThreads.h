// Counting this process's threads, for tests that check which threads a
// library starts and that none outlives it.
#pragma once

#include <chrono>
#include <filesystem>
#include <thread>

#include "WallClock.h"

namespace tavrix_test {

inline int CountProcessThreads() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    (void)entry;
    ++count;
  }
  return count;
}

// Runtimes may add a helper thread of their own at the first thread start
// (ThreadSanitizer does): start one first, so that a count taken now stays
// the baseline.
inline void StartRuntimeHelperThreads() { std::thread([] {}).join(); }

// The thread count once it equals `expected`, or the last count after a
// generous wall-clock bound. A joined thread may still be listed for a moment
// after the join returns (the join waits for the thread's id word to be
// cleared, not for the task to be gone; under user-mode emulation that gap
// is long), so a count right after a join can be one too high.
inline int WaitForProcessThreads(int expected) {
  const auto deadline = std::chrono::steady_clock::now() + WallBound(std::chrono::seconds(10));
  int count = CountProcessThreads();
  while (count != expected && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    count = CountProcessThreads();
  }
  return count;
}

}  // namespace tavrix_test
