// The simulated FPGA clock's value (see SimClock.h).
#include "SimClock.h"

namespace hal {

uint64_t SimClock::RealElapsedUs() const {
  auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - m_origin);
  return static_cast<uint64_t>(elapsed.count());
}

bool SimClock::Pause() {
  if (m_paused) return false;
  m_pausedUs = Now();
  m_paused = true;
  return true;
}

bool SimClock::Resume() {
  if (!m_paused) return false;
  // Continue from the frozen value: unsigned arithmetic wraps consistently.
  m_offsetUs = m_pausedUs - RealElapsedUs();
  m_paused = false;
  return true;
}

void SimClock::Restart() {
  m_paused = true;
  m_pausedUs = 0;
}

}  // namespace hal
