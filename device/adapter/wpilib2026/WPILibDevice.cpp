// The device library's adapter to WPILib 2026 (see tavrix/adapter/WPILibDevice.h
// and WPILibPwm.h).
#include "tavrix/adapter/WPILibDevice.h"

#include <cmath>

#include <frc/Errors.h>
#include <hal/DriverStation.h>
#include <hal/HAL.h>
#include <units/time.h>
#include <wpi/sendable/SendableBuilder.h>
#include <wpi/sendable/SendableRegistry.h>

#include "tavrix/adapter/WPILibPwm.h"

namespace zem::adapter {

namespace {

constexpr const char* kModuleType = "CANTavrix";

// 2019 reported every text as an error with code 1 and no location or stack.
constexpr HAL_Bool kIsError = 1;
constexpr int32_t kReportCode = 1;

}  // namespace

MotorControllerBase::MotorControllerBase(int deviceNumber) {
  wpi::SendableRegistry::Add(this, kModuleType, deviceNumber);
}

void MotorControllerBase::InitSendable(wpi::SendableBuilder& builder) {
  builder.SetSmartDashboardType("Motor Controller");
  builder.SetActuator(true);
  builder.SetSafeState([this] { Disable(); });
  builder.AddDoubleProperty(
      "Value", [this] { return Get(); }, [this](double value) { Set(value); });
}

CanPort::CanPort(int deviceNumber, int manufacturer, int deviceType) {
  try {
    m_can.emplace(deviceNumber, manufacturer, deviceType);
  } catch (const frc::RuntimeError& error) {
    error.Report();
  }
}

bool CanPort::WritePacket(const uint8_t* data, int length, int apiId) {
  if (!m_can) return false;
  try {
    m_can->WritePacket(data, length, apiId);
    return true;
  } catch (const frc::RuntimeError& error) {
    error.Report();
    return false;
  }
}

bool CanPort::ReadPacketNew(int apiId, frc::CANData* data) {
  if (!m_can) return false;
  // 2026 overwrites the frame's length and stamp when nothing came.
  frc::CANData fresh{};
  try {
    if (!m_can->ReadPacketNew(apiId, &fresh)) return false;
  } catch (const frc::RuntimeError& error) {
    error.Report();
    return false;
  }
  *data = fresh;
  return true;
}

CanPort::KeptFrame& CanPort::KeptFor(int apiId) {
  for (KeptFrame& kept : m_kept) {
    if (kept.valid && kept.apiId == apiId) return kept;
  }
  for (KeptFrame& kept : m_kept) {
    if (!kept.valid) return kept;
  }
  KeptFrame& evicted = m_kept[m_nextEviction];
  m_nextEviction = (m_nextEviction + 1) % kKeptFrames;
  evicted = KeptFrame{};
  return evicted;
}

bool CanPort::ReadPeriodicPacket(int apiId, int timeoutMs, int periodMs, frc::CANData* data) {
  KeptFrame& kept = KeptFor(apiId);
  // 2019's rules, unsigned 32-bit ms as there: a negative period or timeout
  // counts as a very long one.
  const auto nowMs = static_cast<uint32_t>(frc::CAN::GetTimestampBaseTime());
  const auto keptAgeMs = [&] { return nowMs - static_cast<uint32_t>(kept.frame.timestamp); };
  if (kept.valid && keptAgeMs() < static_cast<uint32_t>(periodMs)) {
    *data = kept.frame;
    return true;
  }
  frc::CANData fresh{};
  if (ReadPacketNew(apiId, &fresh)) {
    kept = KeptFrame{apiId, true, fresh};
    *data = fresh;
    return true;
  }
  if (!kept.valid || keptAgeMs() > static_cast<uint32_t>(timeoutMs)) return false;
  *data = kept.frame;
  return true;
}

void ReportError(const std::string& text) {
  HAL_SendError(kIsError, kReportCode, 0, text.c_str(), "", "", 1);
}

PwmControllerBase::PwmControllerBase(const char* name, int channel)
    : PWMMotorController(name, channel) {}

namespace {

// 2026 keeps pulse bounds in whole microseconds and cuts the fraction off: a
// millisecond width a hair below its microsecond would lose one.
units::microsecond_t WholeMicroseconds(double ms) {
  constexpr double kMicrosPerMilli = 1000.0;
  return units::microsecond_t{std::round(ms * kMicrosPerMilli)};
}

}  // namespace

void PwmControllerBase::StartPwm(const PulseBoundsMs& bounds, int32_t usageResource) {
  m_pwm.SetBounds(WholeMicroseconds(bounds.max), WholeMicroseconds(bounds.deadbandMax),
                  WholeMicroseconds(bounds.center), WholeMicroseconds(bounds.deadbandMin),
                  WholeMicroseconds(bounds.min));
  m_pwm.SetPeriodMultiplier(frc::PWM::kPeriodMultiplier_1X);
  m_pwm.SetSpeed(0.0);
  m_pwm.SetZeroLatch();
  HAL_Report(usageResource, GetChannel(), 0);
}

}  // namespace zem::adapter
