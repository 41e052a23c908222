// What the real-time suite needs from the simulation HAL and that differs
// between WPILib versions: here WPILib 2026.2.2 (its twin: wpilib2019/).
#pragma once

#include <cstdint>

#include <hal/simulation/CanData.h>
#include <hal/simulation/DriverStationData.h>
#include <hal/simulation/PWMData.h>
#include <tavrix/Wire.h>

namespace realwpilib {

// The id of the stop message an frc::CAN sends at destruction for an API id
// written through it: 2026 sends the full arbitration id.
constexpr uint32_t PlatformStopId(uint32_t deviceId, int32_t apiId) {
  return zem::wire::ComposeId(static_cast<int32_t>(deviceId), apiId);
}

}  // namespace realwpilib
