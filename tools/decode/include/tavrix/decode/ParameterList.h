// The controller's configuration parameters: enumerator name, id and the type
// byte the library writes, as one list. The decoder's name table is made from
// it, and a test checks it, entry by entry and in both directions, against the
// ConfigParameter enumeration of the device library.
//
// X(name, id, type) with type one of kInt32, kUint32, kFloat32, kBool.
// Macros only: nothing runs.
#pragma once

// clang-format off
#define TAVRIX_SLOT_GAINS(X, s, base)                      \
  X(kP_##s, (base) + 0, kFloat32)                          \
  X(kI_##s, (base) + 1, kFloat32)                          \
  X(kD_##s, (base) + 2, kFloat32)                          \
  X(kFF_##s, (base) + 3, kFloat32)                         \
  X(kIZone_##s, (base) + 4, kFloat32)                      \
  X(kDFilter_##s, (base) + 5, kFloat32)                    \
  X(kOutputMin_##s, (base) + 6, kFloat32)                  \
  X(kOutputMax_##s, (base) + 7, kFloat32)

#define TAVRIX_SLOT_MOTION(X, s, base)                         \
  X(kSmartMotionMaxVelocity_##s, (base) + 0, kFloat32)         \
  X(kSmartMotionMaxAccel_##s, (base) + 1, kFloat32)            \
  X(kSmartMotionMinOutputVelocity_##s, (base) + 2, kFloat32)   \
  X(kSmartMotionAllowedClosedLoopError_##s, (base) + 3, kFloat32) \
  X(kSmartMotionAccelStrategy_##s, (base) + 4, kFloat32)

// Parameter 74 and 75 are also written as kInt32 0 when compensation is turned
// off; the list gives the type of the enabling write.
#define TAVRIX_CONFIG_PARAMETERS(X)                        \
  X(kMotorType, 2, kUint32)                                \
  X(kIdleMode, 6, kUint32)                                 \
  X(kSecondaryCurrentLimit, 11, kFloat32)                  \
  X(kSecondaryCurrentLimitArg2, 12, kUint32)               \
  TAVRIX_SLOT_GAINS(X, 0, 13)                              \
  TAVRIX_SLOT_GAINS(X, 1, 21)                              \
  TAVRIX_SLOT_GAINS(X, 2, 29)                              \
  TAVRIX_SLOT_GAINS(X, 3, 37)                              \
  X(kForwardLimitSwitchPolarity, 50, kBool)                \
  X(kReverseLimitSwitchPolarity, 51, kBool)                \
  X(kForwardLimitSwitchEnabled, 52, kBool)                 \
  X(kReverseLimitSwitchEnabled, 53, kBool)                 \
  X(kOpenLoopRampRate, 56, kFloat32)                       \
  X(kSmartCurrentLimit, 59, kUint32)                       \
  X(kSmartCurrentLimitArg2, 60, kUint32)                   \
  X(kSmartCurrentLimitArg3, 61, kUint32)                   \
  X(kVoltageCompensationMode, 74, kUint32)                 \
  X(kVoltageCompensationNominalVoltage, 75, kFloat32)      \
  TAVRIX_SLOT_MOTION(X, 0, 76)                             \
  TAVRIX_SLOT_MOTION(X, 1, 81)                             \
  TAVRIX_SLOT_MOTION(X, 2, 86)                             \
  TAVRIX_SLOT_MOTION(X, 3, 91)                             \
  X(kIMaxAccum_0, 96, kFloat32)                            \
  X(kIMaxAccum_1, 100, kFloat32)                           \
  X(kIMaxAccum_2, 104, kFloat32)                           \
  X(kIMaxAccum_3, 108, kFloat32)                           \
  X(kPositionConversionFactor, 112, kFloat32)              \
  X(kVelocityConversionFactor, 113, kFloat32)              \
  X(kClosedLoopRampRate, 114, kFloat32)
// clang-format on
