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
  return StepClosedLoop(g, setpoint, measured, setpoint, s);
}

double StepClosedLoop(const SlotGains& g, double setpoint, double measured, double feedForwardOf,
                      LoopState* s) {
  const double error = setpoint - measured;
  Accumulate(g, error, s);
  const double rawDerivative = s->hasPrevious ? error - s->previousError : 0.0;
  const double keep = std::isfinite(g.dFilter) ? std::clamp(g.dFilter, 0.0, 1.0) : 0.0;
  const double derivative = keep * s->derivative + (1.0 - keep) * rawDerivative;
  s->derivative = std::isfinite(derivative) ? derivative : 0.0;
  s->previousError = std::isfinite(error) ? error : 0.0;
  s->hasPrevious = true;
  const double raw = g.kP * error + s->iAccum + g.kD * derivative + g.kFF * feedForwardOf;
  const double low = std::max(g.outputMin, -1.0);
  const double high = std::min(g.outputMax, 1.0);
  if (!std::isfinite(raw) || !(low <= high)) return 0.0;
  return std::clamp(raw, low, high);
}

ProfilePoint StepProfile(const ProfileLimits& l, double target, const ProfilePoint& now,
                         double dtS) {
  const double left = target - now.position;
  if (!(l.maxVelocity > 0.0) || !std::isfinite(left) || left == 0.0) {
    return ProfilePoint{now.position, 0.0};
  }
  const double direction = left > 0.0 ? 1.0 : -1.0;
  const double distance = std::fabs(left);
  const bool bounded = l.maxAccel > 0.0 && std::isfinite(l.maxAccel);
  const double speed = std::isfinite(now.velocity) ? now.velocity * direction : 0.0;
  double next = l.maxVelocity;
  if (bounded) {
    // No faster than it can still stop from in the distance left; a profile
    // moving away from the target turns back at the acceleration.
    next =
        std::min({speed + l.maxAccel * dtS, l.maxVelocity, std::sqrt(2.0 * l.maxAccel * distance)});
  }
  if (next >= 0.0) next = std::max(next, std::min(l.minVelocity, l.maxVelocity));
  const double step = next * dtS;
  if (step >= distance) return ProfilePoint{target, 0.0};
  return ProfilePoint{now.position + direction * step, direction * next};
}

}  // namespace tavrix::sim::detail
