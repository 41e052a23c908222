// The controller driven by a PWM signal instead of CAN: a WPILib PWM speed
// controller whose only own behaviour is its constructor, which sets the pulse
// widths, the period, the starting output, the usage report and the name.
// Its calls are the platform's PWM speed controller's: none touches the CAN
// bus or waits for it, and none throws. The class adds no state or lock of
// its own, so its thread rules are the platform speed controller's.
#pragma once

#include <frc/PWMSpeedController.h>

namespace zem {

class Tavrix : public frc::PWMSpeedController {
 public:
  // channel: the robot controller's PWM output the controller is wired to.
  explicit Tavrix(int channel);
  ~Tavrix() override = default;
};

}  // namespace zem
