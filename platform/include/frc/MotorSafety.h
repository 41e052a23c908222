// Motor safety: an output that is not fed within its expiration time is stopped
// when Check runs. Safety is off by default; the expiration is 0.1 s.
#pragma once

#include "frc/ErrorBase.h"
#include "wpi/mutex.h"
#include "wpi/raw_ostream.h"

namespace frc {

class MotorSafety : public ErrorBase {
 public:
  MotorSafety() = default;
  ~MotorSafety() override = default;
  MotorSafety(MotorSafety&& rhs) noexcept;
  MotorSafety& operator=(MotorSafety&& rhs) noexcept;

  // Restarts the expiration timer.
  void Feed();
  void SetExpiration(double expirationTime);
  double GetExpiration() const;
  // False once safety is on and the timer has run out.
  bool IsAlive() const;
  void SetSafetyEnabled(bool enabled);
  bool IsSafetyEnabled() const;
  // Stops the motor (and reports it) when safety is on and the timer has run out.
  void Check();

  virtual void StopMotor() = 0;
  virtual void GetDescription(wpi::raw_ostream& desc) const = 0;

 private:
  static constexpr double kDefaultSafetyExpiration = 0.1;

  double m_expiration = kDefaultSafetyExpiration;
  bool m_enabled = false;
  double m_stopTime = 0.0;  // seconds of the FPGA clock
  mutable wpi::mutex m_thisMutex;
};

}  // namespace frc
