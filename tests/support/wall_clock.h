// Wall-clock bounds of the tests. The build sets one factor for all of them
// (TAVRIX_TEST_TIME_FACTOR, tests/CMakeLists.txt), larger where the tests run
// slower than the machine's own speed, as under processor emulation.
#pragma once

#include <chrono>

#ifndef TAVRIX_TEST_TIME_FACTOR
#define TAVRIX_TEST_TIME_FACTOR 1
#endif

namespace tavrix_test {

constexpr int kWallTimeFactor = TAVRIX_TEST_TIME_FACTOR;
static_assert(kWallTimeFactor >= 1, "TAVRIX_TEST_TIME_FACTOR must be at least 1");

// A wall-clock bound of this build: `bound` on a native build, scaled otherwise.
template <typename Rep, typename Period>
constexpr std::chrono::duration<Rep, Period> WallBound(std::chrono::duration<Rep, Period> bound) {
  return bound * kWallTimeFactor;
}

}  // namespace tavrix_test
