// What the real-time suite needs from the simulation HAL and that differs
// between WPILib versions: here WPILib 2019.4.1 (its twin: wpilib2026/).
#pragma once

#include <cstdint>

#include <mockdata/CanData.h>
#include <mockdata/DriverStationData.h>
#include <mockdata/PWMData.h>

namespace realwpilib {

// The id of the stop message an frc::CAN sends at destruction for an API id
// written through it: 2019 sends the bare API id.
constexpr uint32_t PlatformStopId(uint32_t /*deviceId*/, int32_t apiId) {
  return static_cast<uint32_t>(apiId);
}

}  // namespace realwpilib
