// Battery sag: open-circuit voltage less the total draw through the resistance.
#include "Battery.h"

#include "CatchUp.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

#include "tavrix/sim/Mechanisms.h"

namespace tavrix::sim {
namespace {

struct BatteryBus {
  std::mutex mutex;
  BatteryModel model;
  std::map<const void*, double> currents;
};

BatteryBus& Bus() {
  static BatteryBus* bus = new BatteryBus();  // never destroyed: controllers may outlive statics
  return *bus;
}

double BusVoltsLocked(const BatteryBus& bus) {
  double total = 0.0;
  for (const auto& entry : bus.currents) total += entry.second;
  return std::max(0.0, bus.model.openCircuitVolts - bus.model.resistanceOhm * total);
}

}  // namespace

bool BatteryModel::IsValid() const {
  return std::isfinite(openCircuitVolts) && openCircuitVolts >= 0.0 &&
         std::isfinite(resistanceOhm) && resistanceOhm >= 0.0;
}

bool SetBattery(const BatteryModel& model) {
  detail::CatchUpSimulation();
  if (!model.IsValid()) return false;
  std::lock_guard<std::mutex> lock(Bus().mutex);
  Bus().model = model;
  return true;
}

BatteryModel GetBattery() {
  std::lock_guard<std::mutex> lock(Bus().mutex);
  return Bus().model;
}

double GetBatteryBusVoltage() {
  detail::CatchUpSimulation();
  return detail::BatteryBusVoltage();
}

namespace detail {

double BatteryBusVoltage() {
  std::lock_guard<std::mutex> lock(Bus().mutex);
  return BusVoltsLocked(Bus());
}

void ReportBatteryCurrent(const void* controller, double amperes) {
  std::lock_guard<std::mutex> lock(Bus().mutex);
  Bus().currents[controller] = std::isfinite(amperes) ? amperes : 0.0;
}

void ForgetBatteryCurrent(const void* controller) {
  std::lock_guard<std::mutex> lock(Bus().mutex);
  Bus().currents.erase(controller);
}

}  // namespace detail
}  // namespace tavrix::sim
