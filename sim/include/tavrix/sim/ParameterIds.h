// Parameter ids for the simulated controller and its tests, expanded from the
// protocol catalogue: kMotorType, kP (the slot-0 id of kP_0 .. kP_3) and so on.
// Per-slot parameters sit at base + stride * slot, slots 0 to 3. Constants only.
#pragma once

#include "tavrix/ProtocolCatalog.h"

namespace tavrix::sim::param {

// The names expand to declarators, which cannot take parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define TAVRIX_SIM_SINGLE_ID(name, id, type, simDefault) constexpr int name = (id);
#define TAVRIX_SIM_SLOT0_ID(P, name, family, slot0Id, type, simDefault) \
  constexpr int name = (slot0Id);
TAVRIX_CONFIG_PARAMETERS(TAVRIX_SIM_SINGLE_ID, TAVRIX_SIM_SLOT0_ID)
#undef TAVRIX_SIM_SLOT0_ID
// NOLINTEND(bugprone-macro-parentheses)
#undef TAVRIX_SIM_SINGLE_ID

// Shorter names of motion-profile settings.
constexpr int kMotionMaxVelocity = kSmartMotionMaxVelocity;
constexpr int kMotionMaxAccel = kSmartMotionMaxAccel;
constexpr int kMotionMinOutputVelocity = kSmartMotionMinOutputVelocity;
constexpr int kMotionAllowedClosedLoopError = kSmartMotionAllowedClosedLoopError;

constexpr int kSlotCount = zem::wire::kSlotCount;
constexpr int kGainStride = zem::wire::kGainsStride;
constexpr int kMotionStride = zem::wire::kMotionStride;
constexpr int kIMaxAccumStride = zem::wire::kIMaxAccumStride;

// The id of a per-slot parameter: base + 8 * slot for the gains and output
// range, use kMotionStride / kIMaxAccumStride for the other families.
constexpr int Slot(int base, int slot, int stride = kGainStride) {
  return zem::wire::SlotParameterId(base, stride, slot);
}

}  // namespace tavrix::sim::param
