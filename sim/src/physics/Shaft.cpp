// Shaft dynamics: J dw/dt = sum of motor torques + gravity + load - viscous - Coulomb.
#include "Shaft.h"

#include <algorithm>
#include <cmath>

namespace tavrix::sim::detail {
namespace {

double FiniteOr(double v, double fallback) { return std::isfinite(v) ? v : fallback; }

}  // namespace

MotorTorque MotorTorqueAt(double gearRatio, const MotorInput* motors, size_t count,
                          double speedRadPerS, MotorResult* results) {
  MotorTorque t;
  for (size_t i = 0; i < count; ++i) {
    results[i].limited = false;
    const MotorInput& m = motors[i];
    if (!m.present) continue;
    const double r = m.motor.ResistanceOhm();
    const double kt = m.motor.TorquePerAmpNm();
    const double kv = m.motor.RadPerSecPerVolt();
    t.inertiaKgM2 += gearRatio * gearRatio * m.motor.rotorInertiaKgM2;
    t.frictionNm += std::fabs(gearRatio) * m.motor.FrictionTorqueNm();
    if (m.open) continue;
    const double volts = FiniteOr(m.volts, 0.0);
    const double current = (volts - gearRatio * speedRadPerS / kv) / r;
    const double limit = m.currentLimitA;
    if (std::isfinite(limit) && limit > 0.0 && std::fabs(current) > limit) {
      results[i].limited = true;
      t.fixedNm += gearRatio * kt * std::copysign(limit, current);
      continue;
    }
    t.fixedNm += gearRatio * kt * volts / r;
    t.dampingNmPerRadPerS += gearRatio * gearRatio * kt / (kv * r);
  }
  return t;
}

void MotorResults(double gearRatio, const MotorInput* motors, size_t count, double speedRadPerS,
                  MotorResult* results) {
  for (size_t i = 0; i < count; ++i) {
    const MotorInput& m = motors[i];
    MotorResult& out = results[i];
    const bool limited = out.limited;
    out = MotorResult();
    out.limited = limited;
    if (!m.present || m.open) continue;
    const double r = m.motor.ResistanceOhm();
    const double backEmf = gearRatio * speedRadPerS / m.motor.RadPerSecPerVolt();
    const double volts = FiniteOr(m.volts, 0.0);
    out.currentA = (volts - backEmf) / r;
    out.appliedVolts = volts;
    if (limited) {
      out.currentA = std::copysign(m.currentLimitA, out.currentA);
      out.appliedVolts = backEmf + out.currentA * r;
    }
  }
}

double GravityTorqueNm(const ShaftModel& model, double angleRad) {
  return model.gravityFollowsCosine ? -model.gravityNm * std::cos(angleRad) : -model.gravityNm;
}

ShaftState WithinStops(const ShaftModel& model, ShaftState s) {
  if (s.angleRad <= model.minRad) {
    s.angleRad = model.minRad;
    s.speedRadPerS = std::max(s.speedRadPerS, 0.0);
  } else if (s.angleRad >= model.maxRad) {
    s.angleRad = model.maxRad;
    s.speedRadPerS = std::min(s.speedRadPerS, 0.0);
  }
  return s;
}

ShaftState StepShaft(const ShaftModel& model, const MotorTorque& motors, double extraTorqueNm,
                     double dtS, const ShaftState& start) {
  const double inertia = model.inertiaKgM2 + motors.inertiaKgM2;
  const double k = dtS / inertia;
  const double drive =
      motors.fixedNm + GravityTorqueNm(model, start.angleRad) + FiniteOr(extraTorqueNm, 0.0);
  const double damping = motors.dampingNmPerRadPerS + model.viscousNmPerRadPerS;
  const double free = (start.speedRadPerS + k * drive) / (1.0 + k * damping);
  // Coulomb friction takes off at most this much speed, and never more than
  // there is: a shaft that would cross zero stops (and sticks while the
  // other torques stay below the friction).
  const double friction = k * (model.coulombNm + motors.frictionNm) / (1.0 + k * damping);
  ShaftState end;
  end.speedRadPerS = std::fabs(free) <= friction ? 0.0 : free - std::copysign(friction, free);
  end.angleRad = start.angleRad + end.speedRadPerS * dtS;
  return WithinStops(model, end);
}

}  // namespace tavrix::sim::detail
