// The device library's adapter for the PWM-driven controller on WPILib
// 2019.4.1 and the stand-in; see WPILibDevice.h for how the version is picked.
// PwmControllerBase is the platform's PWM speed controller
// (frc::PWMSpeedController on 2019); StartPwm gives it the controller's pulse
// bounds, the 1x period, a zero output with the zero latch, the usage report
// and the name. No call waits or throws.
#pragma once

#include <frc/PWMSpeedController.h>

namespace zem::adapter {

// Pulse widths in milliseconds, longest first.
struct PulseBoundsMs {
  double max;
  double deadbandMax;
  double center;
  double deadbandMin;
  double min;
};

class PwmControllerBase : public frc::PWMSpeedController {
 protected:
  // name: the module type shown for the controller, with its channel.
  PwmControllerBase(const char* name, int channel);

  void StartPwm(const PulseBoundsMs& bounds, int32_t usageResource);

 private:
  const char* m_name;
};

}  // namespace zem::adapter
