// Interface of anything a PID loop can drive.
#pragma once

namespace frc {

class PIDOutput {
 public:
  virtual void PIDWrite(double output) = 0;

 protected:
  // Not deleted through this interface; protected so that it needs no virtual
  // destructor and PIDWrite keeps the first slot.
  ~PIDOutput() = default;
};

}  // namespace frc
