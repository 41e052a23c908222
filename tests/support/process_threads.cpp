// Calls released together on several threads (see process_threads.h).
#include "process_threads.h"

#include <atomic>

namespace tavrix_test {

std::vector<int32_t> CallFromThreadsAtOnce(int callers, const std::function<int32_t()>& start) {
  std::atomic<bool> go{false};
  std::vector<int32_t> results(static_cast<size_t>(callers));
  std::vector<std::thread> threads;
  threads.reserve(static_cast<size_t>(callers));
  for (int i = 0; i < callers; ++i) {
    threads.emplace_back([&, i] {
      while (!go) std::this_thread::yield();
      results[static_cast<size_t>(i)] = start();
    });
  }
  go = true;
  for (std::thread& t : threads) t.join();
  return results;
}

}  // namespace tavrix_test
