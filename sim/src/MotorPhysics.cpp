// Motor heating and the motor figures a controller runs with.
#include "MotorPhysics.h"

#include <algorithm>
#include <cmath>

namespace tavrix::sim::detail {

DcMotor MotorOf(const MotorModel& model, double motorType) {
  if (model.motor) return *model.motor;
  return motorType == 0.0 ? DcMotor::Brushed() : DcMotor::Brushless();
}

void StepTemperature(const MotorModel& m, double resistanceOhm, double dtS, MotorState* s) {
  const double heatW = s->currentA * s->currentA * resistanceOhm;
  // Steady rise: heat flow times the thermal resistance to ambient (tau / C).
  const double steady =
      m.ambientTemperatureC + heatW * m.coolingTimeConstantS / m.thermalCapacityJPerC;
  s->temperatureC = steady + (s->temperatureC - steady) * std::exp(-dtS / m.coolingTimeConstantS);
}

double SmartLimitA(double stallLimitA, double freeLimitA, double limitRpm, double motorRpm) {
  if (!std::isfinite(stallLimitA) || stallLimitA <= 0.0) return 0.0;
  if (!std::isfinite(freeLimitA) || freeLimitA <= 0.0 || !std::isfinite(limitRpm) ||
      limitRpm <= 0.0) {
    return stallLimitA;
  }
  const double share = std::min(std::fabs(motorRpm) / limitRpm, 1.0);
  return stallLimitA + (freeLimitA - stallLimitA) * share;
}

}  // namespace tavrix::sim::detail

namespace tavrix::sim {

bool MotorModel::IsValid() const {
  const auto positive = [](double v) { return std::isfinite(v) && v > 0.0; };
  return (!motor || motor->IsValid()) && std::isfinite(ambientTemperatureC) &&
         positive(thermalCapacityJPerC) && positive(coolingTimeConstantS);
}

}  // namespace tavrix::sim
