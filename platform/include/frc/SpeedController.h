// Interface of a motor speed controller. Virtual slots in order: PIDWrite (from
// PIDOutput), the destructor, Set, Get, SetInverted, GetInverted, Disable, StopMotor.
#pragma once

#include "frc/PIDOutput.h"

namespace frc {

class SpeedController : public PIDOutput {
 public:
  virtual ~SpeedController() = default;
  virtual void Set(double speed) = 0;
  virtual double Get() const = 0;
  virtual void SetInverted(bool isInverted) = 0;
  virtual bool GetInverted() const = 0;
  virtual void Disable() = 0;
  virtual void StopMotor() = 0;
};

}  // namespace frc
