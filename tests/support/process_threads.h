// Counting this process's threads, for tests that check which threads a
// library starts and that none outlives it.
#pragma once

#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "wall_clock.h"

namespace tavrix_test {

inline int CountProcessThreads() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    (void)entry;
    ++count;
  }
  return count;
}

// Polls `done` every millisecond until it holds or a generous wall-clock
// bound has passed; returns whether it held.
inline bool PollUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + WallBound(std::chrono::seconds(10));
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Runtimes may add a helper thread of their own at the first thread start
// (ThreadSanitizer does): start one first, so that a count taken now stays
// the baseline. The joined thread's task can stay listed for a while after
// the join (the join waits for its id word, not for the task to be reaped;
// under user-mode emulation the gap is long), so wait until it is gone.
inline void StartRuntimeHelperThreads() {
  pid_t helperTid = 0;
  std::thread([&helperTid] { helperTid = static_cast<pid_t>(syscall(SYS_gettid)); }).join();
  const std::string task = "/proc/self/task/" + std::to_string(helperTid);
  PollUntil([&task] { return !std::filesystem::exists(task); });
}

// The thread count once it equals `expected`, or the last count after a
// generous wall-clock bound. A joined thread may still be listed for a moment
// after the join returns (the join waits for the thread's id word to be
// cleared, not for the task to be gone; under user-mode emulation that gap
// is long), so a count right after a join can be one too high.
inline int WaitForProcessThreads(int expected) {
  int count = 0;
  PollUntil([&] {
    count = CountProcessThreads();
    return count == expected;
  });
  return count;
}

// Calls start from callers threads released at the same moment; returns each
// caller's result.
std::vector<int32_t> CallFromThreadsAtOnce(int callers, const std::function<int32_t()>& start);

}  // namespace tavrix_test
