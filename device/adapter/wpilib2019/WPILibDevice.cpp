// The device library's adapter to WPILib 2019 and the stand-in (see
// tavrix/adapter/WPILibDevice.h and WPILibPwm.h).
#include "tavrix/adapter/WPILibDevice.h"

#include <frc/DriverStation.h>
#include <hal/HAL.h>

#include "tavrix/adapter/WPILibPwm.h"

namespace zem::adapter {

MotorControllerBase::MotorControllerBase(int /*deviceNumber*/) {}

CanPort::CanPort(int deviceNumber, int manufacturer, int deviceType)
    : m_can(deviceNumber, manufacturer, deviceType) {}

bool CanPort::WritePacket(const uint8_t* data, int length, int apiId) {
  // The frc::CAN records a failed write as its error; only this write's counts.
  m_can.ClearError();
  m_can.WritePacket(data, length, apiId);
  return m_can.GetError().GetCode() >= 0;
}

bool CanPort::ReadPacketNew(int apiId, frc::CANData* data) {
  return m_can.ReadPacketNew(apiId, data);
}

bool CanPort::ReadPeriodicPacket(int apiId, int timeoutMs, int periodMs, frc::CANData* data) {
  return m_can.ReadPeriodicPacket(apiId, timeoutMs, periodMs, data);
}

void ReportError(const std::string& text) { frc::DriverStation::ReportError(text); }

PwmControllerBase::PwmControllerBase(const char* name, int channel)
    : PWMSpeedController(channel), m_name(name) {}

void PwmControllerBase::StartPwm(const PulseBoundsMs& bounds, int32_t usageResource) {
  SetBounds(bounds.max, bounds.deadbandMax, bounds.center, bounds.deadbandMin, bounds.min);
  SetPeriodMultiplier(kPeriodMultiplier_1X);
  SetSpeed(0.0);
  SetZeroLatch();
  HAL_Report(usageResource, GetChannel(), 0);
  SetName(m_name, GetChannel());
}

}  // namespace zem::adapter
