// One step of the simulated controller's PID loop, run once per millisecond
// with gains per loop step (not per second), as a controller firmware does.
#pragma once

namespace tavrix::sim::detail {

struct SlotGains {
  double kP = 0.0, kI = 0.0, kD = 0.0, kFF = 0.0;
  double iZone = 0.0;      // 0: the integral always accumulates
  double iMaxAccum = 0.0;  // 0: no bound on the accumulator
  double dFilter = 0.0;    // 0..1: share of the previous derivative kept (0: unfiltered)
  double outputMin = -1.0, outputMax = 1.0;
};

struct LoopState {
  double iAccum = 0.0;
  double previousError = 0.0;
  double derivative = 0.0;  // filtered
  bool hasPrevious = false;
};

// Returns the output, within the slot's range and -1..1. A range whose minimum
// exceeds its maximum, or a non-finite result, gives 0. The feed-forward is
// kFF times the setpoint.
double StepClosedLoop(const SlotGains& gains, double setpoint, double measured, LoopState* state);

// The same loop with kFF applied to `feedForwardOf` instead of the setpoint
// (a profiled move feeds its velocity forward while its PID acts on position).
double StepClosedLoop(const SlotGains& gains, double setpoint, double measured,
                      double feedForwardOf, LoopState* state);

// A trapezoidal move: limits in position units per second (and per second
// squared). A maximum velocity of 0 or less keeps the profile where it is; an
// acceleration of 0 or less is unbounded.
struct ProfileLimits {
  double maxVelocity = 0.0;
  double maxAccel = 0.0;
  double minVelocity = 0.0;  // the least speed while the profile moves
};

struct ProfilePoint {
  double position = 0.0;
  double velocity = 0.0;
};

// The profile's next point dtS later on its way to `target`: it speeds up
// while it can still stop in the distance left, slows down when it must, and
// stops on the target.
ProfilePoint StepProfile(const ProfileLimits& limits, double target, const ProfilePoint& now,
                         double dtS);

}  // namespace tavrix::sim::detail
