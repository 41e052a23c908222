// The simulated controller's parameter store, filled with the factory
// defaults of the protocol catalogue.
#include "ParameterStore.h"

#include "tavrix/ProtocolCatalog.h"
#include "tavrix/Wire.h"

namespace tavrix::sim::detail {
namespace {

namespace type = zem::wire::type;
using Defaults = std::array<std::optional<ParameterValue>, ParameterStore::kIdCount>;

// A factory default as the controller stores it: the word of its type.
ParameterValue Encode(uint8_t typeCode, double value) {
  switch (typeCode) {
    case type::kFloat32: return {zem::wire::FloatBits(static_cast<float>(value)), typeCode};
    case type::kBool: return {value != 0.0 ? 1u : 0u, typeCode};
    case type::kInt32: return {static_cast<uint32_t>(static_cast<int32_t>(value)), typeCode};
    default: return {static_cast<uint32_t>(value), typeCode};
  }
}

// Every parameter of the catalogue, each at its factory default.
Defaults MakeDefaults() {
  Defaults d{};
#define TAVRIX_SIM_DEFAULT(name, id, typeName, simDefault) \
  d[static_cast<size_t>(id)] = Encode(type::typeName, static_cast<double>(simDefault));
  TAVRIX_EACH_PARAMETER(TAVRIX_SIM_DEFAULT)
#undef TAVRIX_SIM_DEFAULT
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
