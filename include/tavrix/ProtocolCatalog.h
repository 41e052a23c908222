// The controller's configuration parameters as one list: name, id, the type
// byte the library writes and the value the simulated controller starts with
// (and restores on the factory-defaults command). The device library's
// ConfigParameter enumeration and type table, its per-slot arithmetic, the
// simulated controller's parameter store and the trace decoder's names are
// all expanded from this list by the compiler, so they cannot disagree.
//
// TAVRIX_CONFIG_PARAMETERS(P, S) calls
//   P(name, id, type, simDefault) for a single parameter, and
//   S(P, name, family, slot0Id, type, simDefault) for a per-slot one:
//     enumerators name_0 .. name_3 at slot0Id + stride * slot, the stride
//     being k<family>Stride below. S gets P so that it may expand the four
//     slots through it (TAVRIX_EACH_SLOT).
// type is one of kInt32, kUint32, kFloat32, kBool (see zem::wire::type).
// TAVRIX_EACH_PARAMETER(X) calls X(name, id, type, simDefault) once per
// enumerator, slots expanded. SlotLayoutOf(slot0Id) gives a per-slot
// parameter's layout, so no caller passes a stride by hand. Macros, constants
// and constexpr functions only: nothing runs at load.
#pragma once

#include <cstdint>

namespace zem::wire {

// Per-slot parameters exist for slots 0 to kSlotCount - 1.
constexpr int32_t kSlotCount = 4;
// Distance between the ids of one setting in consecutive slots, per family.
constexpr int32_t kGainsStride = 8;
constexpr int32_t kMotionStride = 5;
constexpr int32_t kIMaxAccumStride = 4;

constexpr int32_t SlotParameterId(int32_t slot0Id, int32_t stride, int32_t slot) {
  return slot0Id + stride * slot;
}

// Where the four ids of one per-slot setting lie: slot 0's id and the distance
// to the next slot's. A stride of 0 marks a parameter that is not per slot
// (every slot is the one id).
struct SlotLayout {
  int32_t slot0Id = 0;
  int32_t stride = 0;
  constexpr int32_t Id(int32_t slot) const { return SlotParameterId(slot0Id, stride, slot); }
};

// Value of kVoltageCompensationMode that turns compensation on (0 turns it off).
constexpr uint32_t kVoltageCompensationOn = 2;

}  // namespace zem::wire

// Parameters 74 and 75 are also written as kInt32 0 when compensation is
// turned off; the list gives the type of the enabling write.
// clang-format off
#define TAVRIX_CONFIG_PARAMETERS(P, S)                                        \
  P(kMotorType, 2, kUint32, 1)                                                \
  P(kIdleMode, 6, kUint32, 0)                                                 \
  P(kSecondaryCurrentLimit, 11, kFloat32, 0.0)                                \
  P(kSecondaryCurrentLimitArg2, 12, kUint32, 0)                               \
  S(P, kP, Gains, 13, kFloat32, 0.0)                                          \
  S(P, kI, Gains, 14, kFloat32, 0.0)                                          \
  S(P, kD, Gains, 15, kFloat32, 0.0)                                          \
  S(P, kFF, Gains, 16, kFloat32, 0.0)                                         \
  S(P, kIZone, Gains, 17, kFloat32, 0.0)                                      \
  S(P, kDFilter, Gains, 18, kFloat32, 0.0)                                    \
  S(P, kOutputMin, Gains, 19, kFloat32, -1.0)                                 \
  S(P, kOutputMax, Gains, 20, kFloat32, 1.0)                                  \
  P(kForwardLimitSwitchPolarity, 50, kBool, false)                            \
  P(kReverseLimitSwitchPolarity, 51, kBool, false)                            \
  /* Like a wired switch: it stops the motor unless disabled. */              \
  P(kForwardLimitSwitchEnabled, 52, kBool, true)                              \
  P(kReverseLimitSwitchEnabled, 53, kBool, true)                              \
  P(kOpenLoopRampRate, 56, kFloat32, 0.0)                                     \
  P(kSmartCurrentLimit, 59, kUint32, 80)                                      \
  P(kSmartCurrentLimitArg2, 60, kUint32, 0)                                   \
  P(kSmartCurrentLimitArg3, 61, kUint32, 20000)                               \
  P(kVoltageCompensationMode, 74, kUint32, 0)                                 \
  P(kVoltageCompensationNominalVoltage, 75, kFloat32, 0.0)                    \
  S(P, kSmartMotionMaxVelocity, Motion, 76, kFloat32, 0.0)                    \
  S(P, kSmartMotionMaxAccel, Motion, 77, kFloat32, 0.0)                       \
  S(P, kSmartMotionMinOutputVelocity, Motion, 78, kFloat32, 0.0)              \
  S(P, kSmartMotionAllowedClosedLoopError, Motion, 79, kFloat32, 0.0)         \
  S(P, kSmartMotionAccelStrategy, Motion, 80, kFloat32, 0.0)                  \
  S(P, kIMaxAccum, IMaxAccum, 96, kFloat32, 0.0)                              \
  P(kPositionConversionFactor, 112, kFloat32, 1.0)                            \
  P(kVelocityConversionFactor, 113, kFloat32, 1.0)                            \
  P(kClosedLoopRampRate, 114, kFloat32, 0.0)

#define TAVRIX_SLOT_ID(family, slot0Id, slot) \
  ::zem::wire::SlotParameterId((slot0Id), ::zem::wire::k##family##Stride, (slot))
#define TAVRIX_EACH_SLOT(X, name, family, slot0Id, type, simDefault)    \
  X(name##_0, TAVRIX_SLOT_ID(family, slot0Id, 0), type, simDefault)     \
  X(name##_1, TAVRIX_SLOT_ID(family, slot0Id, 1), type, simDefault)     \
  X(name##_2, TAVRIX_SLOT_ID(family, slot0Id, 2), type, simDefault)     \
  X(name##_3, TAVRIX_SLOT_ID(family, slot0Id, 3), type, simDefault)

static_assert(::zem::wire::kSlotCount == 4, "TAVRIX_EACH_SLOT expands every slot");

#define TAVRIX_EACH_PARAMETER(X) TAVRIX_CONFIG_PARAMETERS(X, TAVRIX_EACH_SLOT)

#define TAVRIX_NOT_PER_SLOT(name, id, type, simDefault)
#define TAVRIX_SLOT_LAYOUT(P, name, family, slot0Id, type, simDefault) \
  ::zem::wire::SlotLayout{(slot0Id), ::zem::wire::k##family##Stride},
// clang-format on

namespace zem::wire {

// Every per-slot setting's layout, in catalogue order.
constexpr SlotLayout kSlotLayouts[] = {
    TAVRIX_CONFIG_PARAMETERS(TAVRIX_NOT_PER_SLOT, TAVRIX_SLOT_LAYOUT)};

// The layout of the parameter with this id in slot 0; stride 0 when it is not per slot.
constexpr SlotLayout SlotLayoutOf(int32_t slot0Id) {
  for (const SlotLayout& layout : kSlotLayouts) {
    if (layout.slot0Id == slot0Id) return layout;
  }
  return SlotLayout{slot0Id, 0};
}

}  // namespace zem::wire

#undef TAVRIX_SLOT_LAYOUT
#undef TAVRIX_NOT_PER_SLOT
