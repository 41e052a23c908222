// One step of the simulated controller's PID loop, run once per millisecond
// with gains per loop step (not per second), as a controller firmware does.
#pragma once

namespace tavrix::sim::detail {

struct SlotGains {
  double kP = 0.0, kI = 0.0, kD = 0.0, kFF = 0.0;
  double iZone = 0.0;      // 0: the integral always accumulates
  double iMaxAccum = 0.0;  // 0: no bound on the accumulator
  double outputMin = -1.0, outputMax = 1.0;
};

struct LoopState {
  double iAccum = 0.0;
  double previousError = 0.0;
  bool hasPrevious = false;
};

// Returns the output, within the slot's range and -1..1. A range whose minimum
// exceeds its maximum, or a non-finite result, gives 0.
double StepClosedLoop(const SlotGains& gains, double setpoint, double measured, LoopState* state);

}  // namespace tavrix::sim::detail
