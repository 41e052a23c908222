// PID with integral zone, accumulator bound, feed-forward and output range.
#include "ClosedLoop.h"

#include <algorithm>
#include <cmath>

namespace tavrix::sim::detail {
namespace {

void Accumulate(const SlotGains& g, double error, LoopState* s) {
  if (g.iZone > 0.0 && std::fabs(error) > g.iZone) {
    s->iAccum = 0.0;
    return;
  }
  double next = s->iAccum + g.kI * error;
  if (g.iMaxAccum > 0.0) next = std::clamp(next, -g.iMaxAccum, g.iMaxAccum);
  // A NaN gain or input must not poison the accumulator for good.
  s->iAccum = std::isfinite(next) ? next : 0.0;
}

}  // namespace

double StepClosedLoop(const SlotGains& g, double setpoint, double measured, LoopState* s) {
  const double error = setpoint - measured;
  Accumulate(g, error, s);
  const double derivative = s->hasPrevious ? error - s->previousError : 0.0;
  s->previousError = std::isfinite(error) ? error : 0.0;
  s->hasPrevious = true;
  const double raw = g.kP * error + s->iAccum + g.kD * derivative + g.kFF * setpoint;
  const double low = std::max(g.outputMin, -1.0);
  const double high = std::min(g.outputMax, 1.0);
  if (!std::isfinite(raw) || !(low <= high)) return 0.0;
  return std::clamp(raw, low, high);
}

}  // namespace tavrix::sim::detail

