// The controller driven by a PWM signal instead of CAN: a WPILib PWM motor
// controller (frc::PWMSpeedController on WPILib 2019, frc::PWMMotorController
// on 2026) whose only own behaviour is its constructor, which sets the pulse
// widths, the period, the starting output, the usage report and the name.
// Its calls are the platform's PWM controller's: none touches the CAN bus or
// waits for it, and none throws. Only on WPILib 2026 the constructor throws
// frc::RuntimeError for a channel that does not exist or is taken, as every
// PWM controller of that version does. The class adds no state or lock of its
// own, so its thread rules are the platform controller's.
#pragma once

#include "tavrix/adapter/WPILibPwm.h"

namespace zem {

class Tavrix : public adapter::PwmControllerBase {
 public:
  // channel: the robot controller's PWM output the controller is wired to.
  explicit Tavrix(int channel);
  ~Tavrix() override = default;
};

}  // namespace zem
