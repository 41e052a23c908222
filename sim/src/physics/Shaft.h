// A mechanism reduced to its output shaft, and one fixed step of it with the
// motors on its gearbox. Pure functions of state, inputs and step length.
#pragma once

#include <cstddef>

#include "tavrix/sim/Mechanisms.h"

namespace tavrix::sim::detail {

struct ShaftModel {
  double gearRatio = 1.0;
  double inertiaKgM2 = 1.0;  // of the mechanism, at the output shaft
  double viscousNmPerRadPerS = 0.0;
  double coulombNm = 0.0;
  double gravityNm = 0.0;             // gravity torque at its largest
  bool gravityFollowsCosine = false;  // an arm: largest when horizontal
  double minRad = -kNoLimit;
  double maxRad = kNoLimit;
  double unitsPerRad = 1.0;  // mechanism position units per shaft radian
};

struct ShaftState {
  double angleRad = 0.0;
  double speedRadPerS = 0.0;
};

struct MotorInput {
  bool present = false;  // a free slot drives nothing and weighs nothing
  DcMotor motor;
  double volts = 0.0;          // terminal voltage the controller applies
  bool open = false;           // windings disconnected (coast): no current
  double currentLimitA = 0.0;  // 0 or less: none
};

struct MotorResult {
  double currentA = 0.0;      // signed; negative while braking
  double appliedVolts = 0.0;  // after current limiting
  bool limited = false;       // the current limit bound during the step
};

// The motors' torque at the output shaft over a step: fixed part plus the
// part proportional to the shaft speed (the back EMF's damping).
struct MotorTorque {
  double fixedNm = 0.0;
  double dampingNmPerRadPerS = 0.0;
  double frictionNm = 0.0;   // internal friction, opposing motion
  double inertiaKgM2 = 0.0;  // rotor inertia reflected through the gearbox
};

// The torque terms of all present motors at the given shaft speed; marks in
// each result whether that motor's current limit binds.
MotorTorque MotorTorqueAt(double gearRatio, const MotorInput* motors, size_t count,
                          double speedRadPerS, MotorResult* results);

// Each motor's current and applied voltage at the end speed of a step, its
// `limited` mark kept from MotorTorqueAt.
void MotorResults(double gearRatio, const MotorInput* motors, size_t count, double speedRadPerS,
                  MotorResult* results);

// One semi-implicit Euler step: the speed-proportional torques are taken at the
// end of the step, friction cannot reverse the motion, the hard stops absorb it.
ShaftState StepShaft(const ShaftModel& model, const MotorTorque& motors, double extraTorqueNm,
                     double dtS, const ShaftState& start);

// The mechanism's gravity torque at an angle.
double GravityTorqueNm(const ShaftModel& model, double angleRad);

// A state placed within the hard stops (stopped at a stop it is pushed against).
ShaftState WithinStops(const ShaftModel& model, ShaftState s);

}  // namespace tavrix::sim::detail
