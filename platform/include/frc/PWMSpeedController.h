// Speed controller driven by a PWM channel: Set(s) sets speed inverted ? -s : s.
#pragma once

#include "frc/PWM.h"
#include "frc/SpeedController.h"

namespace frc {

class PWMSpeedController : public PWM, public SpeedController {
 public:
  void Set(double speed) override;
  double Get() const override;
  void SetInverted(bool isInverted) override;
  bool GetInverted() const override;
  void Disable() override;
  void StopMotor() override;
  void PIDWrite(double output) override;

 protected:
  explicit PWMSpeedController(int channel);
  void InitSendable(SendableBuilder& builder) override;

 private:
  bool m_isInverted = false;
};

}  // namespace frc
