// The controller's own view of its motor: what it last measured, how the
// motor heats, and the motor figures it runs with.
#pragma once

#include "tavrix/sim/SimController.h"

namespace tavrix::sim::detail {

struct MotorState {
  double velocityRpm = 0.0;
  double currentA = 0.0;      // signed; negative while braking
  double appliedVolts = 0.0;  // after current limiting
  double temperatureC = 25.0;
};

// The model's own motor, or the preset of the motor-type parameter value
// (0 brushed, anything else brushless, as the controller defaults to).
DcMotor MotorOf(const MotorModel& model, double motorType);

// Winding loss heats the motor, which cools toward ambient; exact over the step.
void StepTemperature(const MotorModel& model, double resistanceOhm, double dtS, MotorState* state);

// The smart current limit at a motor speed: the stall limit at standstill,
// moving linearly to the free limit at limitRpm (a free limit of 0 keeps the
// stall limit throughout). 0 or less: no limit.
double SmartLimitA(double stallLimitA, double freeLimitA, double limitRpm, double motorRpm);

}  // namespace tavrix::sim::detail
