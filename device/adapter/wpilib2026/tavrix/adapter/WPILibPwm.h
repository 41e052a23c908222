// The device library's adapter for the PWM-driven controller on WPILib
// 2026.2.2; see WPILibDevice.h for how the version is picked.
// PwmControllerBase is the platform's PWM motor controller
// (frc::PWMMotorController on 2026, registered under the name given); StartPwm
// gives it the controller's pulse bounds, the 1x period, a zero output with
// the zero latch and the usage report. No call waits or throws.
#pragma once

#include <cstdint>

#include <frc/motorcontrol/PWMMotorController.h>

namespace zem::adapter {

// Pulse widths in milliseconds, longest first.
struct PulseBoundsMs {
  double max;
  double deadbandMax;
  double center;
  double deadbandMin;
  double min;
};

class PwmControllerBase : public frc::PWMMotorController {
 protected:
  // name: the module type shown for the controller, with its channel.
  PwmControllerBase(const char* name, int channel);

  void StartPwm(const PulseBoundsMs& bounds, int32_t usageResource);
};

}  // namespace zem::adapter
