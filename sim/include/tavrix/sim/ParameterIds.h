// Parameter ids that the simulated controller gives a meaning to (it keeps
// the others of its store without acting on them). Per-slot parameters sit at
// base + stride * slot, slots 0 to 3. Constants only.
#pragma once

namespace tavrix::sim::param {

constexpr int kMotorType = 2;
constexpr int kIdleMode = 6;
constexpr int kSecondaryCurrentLimit = 11;
constexpr int kSecondaryCurrentLimitArg2 = 12;

constexpr int kSlotCount = 4;
constexpr int kGainStride = 8;
constexpr int kP = 13;
constexpr int kI = 14;
constexpr int kD = 15;
constexpr int kFF = 16;
constexpr int kIZone = 17;
constexpr int kDFilter = 18;
constexpr int kOutputMin = 19;
constexpr int kOutputMax = 20;

constexpr int kForwardLimitSwitchPolarity = 50;
constexpr int kReverseLimitSwitchPolarity = 51;
constexpr int kForwardLimitSwitchEnabled = 52;
constexpr int kReverseLimitSwitchEnabled = 53;
constexpr int kOpenLoopRampRate = 56;
constexpr int kSmartCurrentLimit = 59;
constexpr int kSmartCurrentLimitArg2 = 60;
constexpr int kSmartCurrentLimitArg3 = 61;
constexpr int kVoltageCompensationMode = 74;
constexpr int kVoltageCompensationNominalVoltage = 75;

constexpr int kMotionStride = 5;
constexpr int kMotionMaxVelocity = 76;
constexpr int kMotionMaxAccel = 77;
constexpr int kMotionMinOutputVelocity = 78;
constexpr int kMotionAllowedClosedLoopError = 79;
constexpr int kMotionAccelStrategy = 80;

constexpr int kIMaxAccumStride = 4;
constexpr int kIMaxAccum = 96;

constexpr int kPositionConversionFactor = 112;
constexpr int kVelocityConversionFactor = 113;
constexpr int kClosedLoopRampRate = 114;

// Mode value of kVoltageCompensationMode that turns compensation on.
constexpr int kVoltageCompensationEnabled = 2;

// The id of a per-slot parameter: base + 8 * slot for the gains and output
// range, use kMotionStride / kIMaxAccumStride for the other families.
constexpr int Slot(int base, int slot, int stride = kGainStride) { return base + stride * slot; }

}  // namespace tavrix::sim::param
