// Factory defaults of the simulated controller and its parameter store.
#include "ParameterStore.h"

#include "tavrix/Wire.h"
#include "tavrix/sim/ParameterIds.h"

namespace tavrix::sim::detail {
namespace {

namespace type = zem::wire::type;
using Defaults = std::array<std::optional<ParameterValue>, ParameterStore::kIdCount>;

ParameterValue Uint(uint32_t v) { return {v, type::kUint32}; }
ParameterValue Float(float v) { return {zem::wire::FloatBits(v), type::kFloat32}; }
ParameterValue Bool(bool v) { return {v ? 1u : 0u, type::kBool}; }

void Put(Defaults& d, int id, ParameterValue v) { d[static_cast<size_t>(id)] = v; }

constexpr uint32_t kDefaultMotorType = 1;
constexpr uint32_t kDefaultSmartCurrentLimitA = 80;
constexpr uint32_t kDefaultSmartCurrentLimitArg3 = 20000;

void AddSlotDefaults(Defaults& d) {
  for (int s = 0; s < param::kSlotCount; ++s) {
    for (int base : {param::kP, param::kI, param::kD, param::kFF, param::kIZone, param::kDFilter}) {
      Put(d, param::Slot(base, s), Float(0.0f));
    }
    Put(d, param::Slot(param::kOutputMin, s), Float(-1.0f));
    Put(d, param::Slot(param::kOutputMax, s), Float(1.0f));
    for (int base : {param::kMotionMaxVelocity, param::kMotionMaxAccel,
                     param::kMotionMinOutputVelocity, param::kMotionAllowedClosedLoopError,
                     param::kMotionAccelStrategy}) {
      Put(d, param::Slot(base, s, param::kMotionStride), Float(0.0f));
    }
    Put(d, param::Slot(param::kIMaxAccum, s, param::kIMaxAccumStride), Float(0.0f));
  }
}

Defaults MakeDefaults() {
  Defaults d{};
  Put(d, param::kMotorType, Uint(kDefaultMotorType));
  Put(d, param::kIdleMode, Uint(0));
  Put(d, param::kSecondaryCurrentLimit, Float(0.0f));
  Put(d, param::kSecondaryCurrentLimitArg2, Uint(0));
  AddSlotDefaults(d);
  Put(d, param::kForwardLimitSwitchPolarity, Bool(false));
  Put(d, param::kReverseLimitSwitchPolarity, Bool(false));
  // Like a wired switch on the real device: it stops the motor unless disabled.
  Put(d, param::kForwardLimitSwitchEnabled, Bool(true));
  Put(d, param::kReverseLimitSwitchEnabled, Bool(true));
  Put(d, param::kOpenLoopRampRate, Float(0.0f));
  Put(d, param::kSmartCurrentLimit, Uint(kDefaultSmartCurrentLimitA));
  Put(d, param::kSmartCurrentLimitArg2, Uint(0));
  Put(d, param::kSmartCurrentLimitArg3, Uint(kDefaultSmartCurrentLimitArg3));
  Put(d, param::kVoltageCompensationMode, Uint(0));
  Put(d, param::kVoltageCompensationNominalVoltage, Float(0.0f));
  Put(d, param::kPositionConversionFactor, Float(1.0f));
  Put(d, param::kVelocityConversionFactor, Float(1.0f));
  Put(d, param::kClosedLoopRampRate, Float(0.0f));
  return d;
}

const Defaults& FactoryDefaults() {
  static const Defaults defaults = MakeDefaults();
  return defaults;
}

bool InRange(int id) { return id >= 0 && id < ParameterStore::kIdCount; }

}  // namespace

ParameterStore::ParameterStore() : values_(FactoryDefaults()) {}

bool ParameterStore::IsKnown(int id) {
  return InRange(id) && FactoryDefaults()[static_cast<size_t>(id)].has_value();
}

std::optional<ParameterValue> ParameterStore::Get(int id) const {
  if (!InRange(id)) return std::nullopt;
  return values_[static_cast<size_t>(id)];
}

bool ParameterStore::Set(int id, ParameterValue value) {
  if (!IsKnown(id) || value.type > type::kBool) return false;
  values_[static_cast<size_t>(id)] = value;
  return true;
}

double ParameterStore::AsDouble(int id, double fallback) const {
  const std::optional<ParameterValue> v = Get(id);
  double out = fallback;
  if (!v || !zem::wire::ValueWordToDouble(v->word, v->type, &out)) return fallback;
  return out;
}

void ParameterStore::RestoreDefaults() { values_ = FactoryDefaults(); }

}  // namespace tavrix::sim::detail
