// Motor safety timer over the FPGA clock.
#include "frc/MotorSafety.h"

#include <mutex>
#include <string>

#include "frc/DriverStation.h"
#include "hal/HALBase.h"
#include "wpi/SmallString.h"

namespace frc {

namespace {

constexpr double kMicrosPerSecond = 1e6;

double NowSeconds() {
  int32_t status = 0;
  return static_cast<double>(HAL_GetFPGATime(&status)) / kMicrosPerSecond;
}

}  // namespace

MotorSafety::MotorSafety(MotorSafety&& rhs) noexcept : ErrorBase(std::move(rhs)) {
  // The base took only its own part; the timer fields below are still rhs's.
  std::lock_guard<wpi::mutex> lock(rhs.m_thisMutex);  // NOLINT(bugprone-use-after-move)
  m_expiration = rhs.m_expiration;
  m_enabled = rhs.m_enabled;
  m_stopTime = rhs.m_stopTime;
}

MotorSafety& MotorSafety::operator=(MotorSafety&& rhs) noexcept {
  if (this == &rhs) return *this;
  std::scoped_lock lock(m_thisMutex, rhs.m_thisMutex);
  m_expiration = rhs.m_expiration;
  m_enabled = rhs.m_enabled;
  m_stopTime = rhs.m_stopTime;
  ErrorBase::operator=(std::move(rhs));  // last: nothing of rhs is read after it
  return *this;
}

void MotorSafety::Feed() {
  std::lock_guard<wpi::mutex> lock(m_thisMutex);
  m_stopTime = NowSeconds() + m_expiration;
}

void MotorSafety::SetExpiration(double expirationTime) {
  std::lock_guard<wpi::mutex> lock(m_thisMutex);
  m_expiration = expirationTime;
}

double MotorSafety::GetExpiration() const {
  std::lock_guard<wpi::mutex> lock(m_thisMutex);
  return m_expiration;
}

bool MotorSafety::IsAlive() const {
  std::lock_guard<wpi::mutex> lock(m_thisMutex);
  return !m_enabled || m_stopTime > NowSeconds();
}

void MotorSafety::SetSafetyEnabled(bool enabled) {
  std::lock_guard<wpi::mutex> lock(m_thisMutex);
  m_enabled = enabled;
}

bool MotorSafety::IsSafetyEnabled() const {
  std::lock_guard<wpi::mutex> lock(m_thisMutex);
  return m_enabled;
}

void MotorSafety::Check() {
  if (IsAlive()) return;
  wpi::SmallString<128> text;
  wpi::raw_svector_ostream desc(text);
  GetDescription(desc);
  desc << "... Output not updated often enough.";
  DriverStation::ReportError(desc.str());
  StopMotor();
}

}  // namespace frc
