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

#include <cstdint>

#include "tavrix/adapter/WPILibPwm.h"

namespace zem {

class Tavrix : public adapter::PwmControllerBase {
 public:
  // Pulse widths in milliseconds. The deadband is asymmetric around the
  // centre and the ends lie just beyond 2.0 and 1.0 ms, as the controller
  // measures them. Public for the Java class, which sets them on its own PWM.
  static constexpr adapter::PulseBoundsMs kPulseBounds{2.003, 1.55, 1.5, 1.46, 0.999};
  // Usage-reporting resource number of the PWM-driven controller.
  static constexpr int32_t kPwmUsageResource = 82;

  // channel: the robot controller's PWM output the controller is wired to.
  explicit Tavrix(int channel);
  ~Tavrix() override = default;
};

}  // namespace zem
