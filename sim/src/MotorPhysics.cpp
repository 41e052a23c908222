// First-order DC motor: velocity follows gain x voltage with a time constant,
// current from the voltage over the back EMF, heating with the current squared.
#include "MotorPhysics.h"

#include <cmath>

namespace tavrix::sim::detail {
namespace {

bool NonNegativeFinite(double v) { return std::isfinite(v) && v >= 0.0; }
bool PositiveFinite(double v) { return std::isfinite(v) && v > 0.0; }

constexpr double kSecondsPerMinute = 60.0;


double BackEmfVolts(const MotorModel& m, double velocityRpm) {
  return m.velocityGainRpmPerVolt > 0.0 ? velocityRpm / m.velocityGainRpmPerVolt : 0.0;
}

// Applies the current limit and records the voltage and current that result.
void ApplyElectrical(const MotorModel& m, const MotorDrive& drive, MotorState* s) {
  const double volts = std::isfinite(drive.volts) ? drive.volts : 0.0;
  const double backEmf = BackEmfVolts(m, s->velocityRpm);
  double current = (volts - backEmf) / m.windingResistanceOhm;
  double applied = volts;
  const double limit = drive.currentLimitA;
  if (std::isfinite(limit) && limit > 0.0 && std::fabs(current) > limit) {
    current = std::copysign(limit, current);
    applied = backEmf + current * m.windingResistanceOhm;
  }
  s->currentA = current;
  s->appliedVolts = applied;
}

void ApplyThermal(const MotorModel& m, double dtS, MotorState* s) {
  const double steady = m.ambientTemperatureC +
                        m.heatingCPerAmpSquaredS * s->currentA * s->currentA * m.coolingTimeConstantS;
  s->temperatureC = steady + (s->temperatureC - steady) * std::exp(-dtS / m.coolingTimeConstantS);
}

}  // namespace

double StepMotor(const MotorModel& m, const MotorDrive& drive, double dtS, MotorState* s) {
  ApplyElectrical(m, drive, s);
  const double target = m.velocityGainRpmPerVolt * s->appliedVolts;
  const double before = s->velocityRpm;
  // Exact solution of the first-order response over the step: stable for any step.
  s->velocityRpm = target + (before - target) * std::exp(-dtS / m.timeConstantS);
  ApplyThermal(m, dtS, s);
  return (before + s->velocityRpm) * 0.5 * dtS / kSecondsPerMinute;
}

}  // namespace tavrix::sim::detail

namespace tavrix::sim {

bool MotorModel::IsValid() const {
  using detail::NonNegativeFinite;
  using detail::PositiveFinite;
  return NonNegativeFinite(velocityGainRpmPerVolt) && PositiveFinite(timeConstantS) &&
         PositiveFinite(windingResistanceOhm) && std::isfinite(ambientTemperatureC) &&
         NonNegativeFinite(heatingCPerAmpSquaredS) && PositiveFinite(coolingTimeConstantS);
}

}  // namespace tavrix::sim
