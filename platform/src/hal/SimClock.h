// The simulated FPGA clock's value: the wall clock since start plus an offset
// while running, a frozen value while paused. Not thread-safe: Timing's lock
// guards it.
#pragma once

#include <stdint.h>

#include <chrono>

namespace hal {

class SimClock {
 public:
  SimClock() : m_origin(std::chrono::steady_clock::now()) {}

  uint64_t Now() const { return m_paused ? m_pausedUs : RealElapsedUs() + m_offsetUs; }
  bool IsPaused() const { return m_paused; }

  // Each returns false when the clock already was in that state.
  bool Pause();
  bool Resume();
  // Paused at 0.
  void Restart();

  // Running: moves the clock on by deltaUs.
  void Advance(uint64_t deltaUs) { m_offsetUs += deltaUs; }
  // Paused: moves the frozen value to timeUs if that is later (never back).
  void MoveForwardTo(uint64_t timeUs) {
    if (timeUs > m_pausedUs) m_pausedUs = timeUs;
  }

 private:
  uint64_t RealElapsedUs() const;

  const std::chrono::steady_clock::time_point m_origin;
  bool m_paused = false;
  uint64_t m_pausedUs = 0;
  uint64_t m_offsetUs = 0;  // simulated = real elapsed + offset (modulo 2^64)
};

}  // namespace hal
