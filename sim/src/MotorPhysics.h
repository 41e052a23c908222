// The DC motor model of the simulated controller, advanced in fixed steps.
#pragma once

#include "tavrix/sim/SimController.h"

namespace tavrix::sim::detail {

struct MotorState {
  double velocityRpm = 0.0;
  double currentA = 0.0;       // signed; negative while braking
  double appliedVolts = 0.0;   // after current limiting
  double temperatureC = 25.0;
};

struct MotorDrive {
  double volts = 0.0;          // requested terminal voltage
  double currentLimitA = 0.0;  // 0 or less: no limit
};

// Advances the motor by dtS seconds and returns the rotations it turned.
// The current limit lowers the applied voltage so that the current stays in
// bounds. A non-finite requested voltage counts as 0.
double StepMotor(const MotorModel& model, const MotorDrive& drive, double dtS, MotorState* state);

}  // namespace tavrix::sim::detail
