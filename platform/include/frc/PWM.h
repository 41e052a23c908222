// A PWM output channel. The stand-in generates no pulses: it keeps the channel's
// settings and records every call made on it (halsim::GetPwmState).
#pragma once

#include "frc/MotorSafety.h"
#include "frc/smartdashboard/SendableBase.h"
#include "wpi/raw_ostream.h"

namespace frc {

class SendableBuilder;

class PWM : public MotorSafety, public SendableBase {
 public:
  enum PeriodMultiplier {
    kPeriodMultiplier_1X = 1,
    kPeriodMultiplier_2X = 2,
    kPeriodMultiplier_4X = 4
  };

  explicit PWM(int channel);
  ~PWM() override;
  PWM(PWM&&) = delete;
  PWM& operator=(PWM&&) = delete;

  void StopMotor() override;
  void GetDescription(wpi::raw_ostream& desc) const override;

  // Clamps to [-1, 1] (NaN gives 0) and feeds the safety timer.
  virtual void SetSpeed(double speed);
  virtual double GetSpeed() const;
  // Clamps to [0, 1] (NaN gives 0).
  virtual void SetPosition(double pos);
  virtual double GetPosition() const;

  void SetDisabled();
  void SetPeriodMultiplier(PeriodMultiplier mult);
  void SetZeroLatch();
  void EnableDeadbandElimination(bool eliminateDeadband);
  // Pulse widths in milliseconds.
  void SetBounds(double max, double deadbandMax, double center, double deadbandMin, double min);
  int GetChannel() const;

 protected:
  void InitSendable(SendableBuilder& builder) override;

 private:
  int m_channel;
  double m_speed = 0.0;  // what the output is set to (0 while disabled)
};

}  // namespace frc
