// The driver's adapter to the WPILib version it is built against. The HAL
// calls the driver makes are the same on WPILib 2019.4.1 (and on the stand-in,
// which has its API) and on WPILib 2026.2.2, except the two below; they are
// made only through this header, so the heartbeat and setpoint code reads the
// same on both. One implementation per version (wpilib2019.cpp,
// wpilib2026.cpp), chosen at configure time by the version of the WPILib
// package found (driver/CMakeLists.txt).
//
// What differs, and why it is adapted here:
// - HAL_CleanNotifier lost its status argument in 2026 (it cannot fail).
// - HAL_WaitForNotifierAlarm is [[nodiscard]] in 2026. The loops only need
//   the wait; they read the clock themselves after it.
//
// Not adapted, because the calls are the same: HAL_Initialize,
// HAL_GetFPGATime, HAL_CAN_SendMessage, the other notifier calls and
// wpi::SafeThread / SafeThreadOwner. HAL_GetSystemActive is the same call but
// on 2026's simulation it follows the simulated driver-station enable (false
// at start), as a real robot's does: the heartbeat then carries no device
// until the robot is enabled, which is the behaviour the controllers expect.
#pragma once

#include <hal/Types.h>

namespace zem::driver::adapter {

// Frees the notifier; it must have been stopped first. Never fails.
void CleanNotifier(HAL_NotifierHandle notifier);

// Blocks until the notifier's alarm fires or the notifier is stopped.
void WaitForNotifierAlarm(HAL_NotifierHandle notifier);

}  // namespace zem::driver::adapter
