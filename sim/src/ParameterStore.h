// The simulated controller's parameter store: one value word and type code per
// parameter id the controller knows, with the factory defaults.
#pragma once

#include <array>
#include <optional>

#include "tavrix/Wire.h"
#include "tavrix/sim/SimController.h"

namespace tavrix::sim::detail {

class ParameterStore {
 public:
  // One entry per parameter id the API id can carry.
  static constexpr int kIdCount = zem::wire::kParameterIdMask + 1;

  // Starts with the factory defaults.
  ParameterStore();

  static bool IsKnown(int id);
  std::optional<ParameterValue> Get(int id) const;
  // False (nothing stored) for an unknown id or a type code outside 0..3.
  bool Set(int id, ParameterValue value);
  // The stored word read by its stored type; the fallback for an unknown id.
  double AsDouble(int id, double fallback) const;
  void RestoreDefaults();

 private:
  std::array<std::optional<ParameterValue>, kIdCount> values_;
};

}  // namespace tavrix::sim::detail
