// Parameter ids for the simulated controller and its tests, expanded from the
// protocol catalogue: kMotorType, kP (the slot-0 id of kP_0 .. kP_3) and so on.
// Slot(kP, slot) gives a per-slot parameter's id in any slot, with the stride
// of its family from the catalogue. Constants only.
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

// Shorter names of the motion-profile settings, as tests write them.
constexpr int kMotionMaxVelocity = kSmartMotionMaxVelocity;
constexpr int kMotionMaxAccel = kSmartMotionMaxAccel;
constexpr int kMotionMinOutputVelocity = kSmartMotionMinOutputVelocity;
constexpr int kMotionAllowedClosedLoopError = kSmartMotionAllowedClosedLoopError;

constexpr int kSlotCount = zem::wire::kSlotCount;

// The id of a per-slot parameter in a slot, from its slot-0 id.
constexpr int Slot(int slot0Id, int slot) { return zem::wire::SlotLayoutOf(slot0Id).Id(slot); }

}  // namespace tavrix::sim::param
