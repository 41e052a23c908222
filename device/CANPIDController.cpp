// The closed-loop view: per-slot gains, limits and motion-profile settings
// (parameter id = slot-0 id + stride x slot), the output range mirrored under
// inversion, the integral accumulator and references of every control type.
#include "tavrix/CANPIDController.h"

#include "tavrix/CANTavrix.h"
#include "tavrix/Wire.h"

namespace zem {

namespace {

using Parameter = CANTavrixLowLevel::ConfigParameter;

// Distance between the ids of one setting in consecutive slots, per group.
constexpr int32_t kGainStride = 8;
constexpr int32_t kMotionStride = 5;
constexpr int32_t kIMaxAccumStride = 4;
constexpr uint32_t kLastSlot = 3;

// Compared unsigned so that every negative slot is out of range too.
bool SlotInRange(int slotID) { return static_cast<uint32_t>(slotID) <= kLastSlot; }

Parameter SlotParameter(Parameter slot0Id, int32_t stride, int slotID) {
  return static_cast<Parameter>(static_cast<int32_t>(slot0Id) + stride * slotID);
}

// Below 0 becomes 0, above 1 becomes 1; NaN passes unchanged.
double ClampToUnit(double value) {
  if (value < 0.0) return 0.0;
  if (value > 1.0) return 1.0;
  return value;
}

}  // namespace

CANPIDController::CANPIDController(CANTavrix& owner) : device(owner) {}

CANError CANPIDController::SetSlotFloat(ConfigParameter slot0Id, int32_t stride, double value,
                                        int slotID) {
  if (!SlotInRange(slotID)) return CANError::kFailed;
  return CANTavrix::ToCANError(device.SetParameter(SlotParameter(slot0Id, stride, slotID), value));
}

double CANPIDController::GetSlotFloat(ConfigParameter slot0Id, int32_t stride, int slotID) {
  if (!SlotInRange(slotID)) return 0.0;
  return device.GetFloatParameterOrZero(SlotParameter(slot0Id, stride, slotID));
}

CANError CANPIDController::SetReference(double value, ControlType ctrl, int pidSlot,
                                        double arbFeedforward) {
  return device.SetpointCommand(value, ctrl, pidSlot, arbFeedforward);
}

// ---------------------------------------------------------------------------
// Gains (stride 8)
// ---------------------------------------------------------------------------

CANError CANPIDController::SetP(double gain, int slotID) {
  return SetSlotFloat(Parameter::kP_0, kGainStride, gain, slotID);
}
CANError CANPIDController::SetI(double gain, int slotID) {
  return SetSlotFloat(Parameter::kI_0, kGainStride, gain, slotID);
}
CANError CANPIDController::SetD(double gain, int slotID) {
  return SetSlotFloat(Parameter::kD_0, kGainStride, gain, slotID);
}
CANError CANPIDController::SetDFilter(double gain, int slotID) {
  return SetSlotFloat(Parameter::kDFilter_0, kGainStride, ClampToUnit(gain), slotID);
}
CANError CANPIDController::SetFF(double gain, int slotID) {
  return SetSlotFloat(Parameter::kFF_0, kGainStride, gain, slotID);
}
CANError CANPIDController::SetIZone(double IZone, int slotID) {
  return SetSlotFloat(Parameter::kIZone_0, kGainStride, IZone, slotID);
}

double CANPIDController::GetP(int slotID) { return GetSlotFloat(Parameter::kP_0, kGainStride, slotID); }
double CANPIDController::GetI(int slotID) { return GetSlotFloat(Parameter::kI_0, kGainStride, slotID); }
double CANPIDController::GetD(int slotID) { return GetSlotFloat(Parameter::kD_0, kGainStride, slotID); }
double CANPIDController::GetDFilter(int slotID) {
  return GetSlotFloat(Parameter::kDFilter_0, kGainStride, slotID);
}
double CANPIDController::GetFF(int slotID) {
  return GetSlotFloat(Parameter::kFF_0, kGainStride, slotID);
}
double CANPIDController::GetIZone(int slotID) {
  return GetSlotFloat(Parameter::kIZone_0, kGainStride, slotID);
}

// ---------------------------------------------------------------------------
// Output range: while the device is inverted the controller holds the
// negated range with its ends swapped, so what is set and read back in one
// inversion state is the same pair.
// ---------------------------------------------------------------------------

CANError CANPIDController::SetOutputRange(double min, double max, int slotID) {
  const bool inverted = device.GetInverted();
  const double storedMin = inverted ? -max : min;
  const double storedMax = inverted ? -min : max;
  if (!SlotInRange(slotID)) return CANError::kFailed;
  if (SetSlotFloat(Parameter::kOutputMin_0, kGainStride, storedMin, slotID) != CANError::kSuccess) {
    return CANError::kFailed;
  }
  return SetSlotFloat(Parameter::kOutputMax_0, kGainStride, storedMax, slotID);
}

double CANPIDController::GetOutputMin(int slotID) {
  if (device.GetInverted()) return -GetSlotFloat(Parameter::kOutputMax_0, kGainStride, slotID);
  return GetSlotFloat(Parameter::kOutputMin_0, kGainStride, slotID);
}

double CANPIDController::GetOutputMax(int slotID) {
  if (device.GetInverted()) return -GetSlotFloat(Parameter::kOutputMin_0, kGainStride, slotID);
  return GetSlotFloat(Parameter::kOutputMax_0, kGainStride, slotID);
}

// ---------------------------------------------------------------------------
// Motion profile (stride 5)
// ---------------------------------------------------------------------------

CANError CANPIDController::SetSmartMotionMaxVelocity(double maxVel, int slotID) {
  return SetSlotFloat(Parameter::kSmartMotionMaxVelocity_0, kMotionStride, maxVel, slotID);
}
CANError CANPIDController::SetSmartMotionMaxAccel(double maxAccel, int slotID) {
  return SetSlotFloat(Parameter::kSmartMotionMaxAccel_0, kMotionStride, maxAccel, slotID);
}
CANError CANPIDController::SetSmartMotionMinOutputVelocity(double minVel, int slotID) {
  return SetSlotFloat(Parameter::kSmartMotionMinOutputVelocity_0, kMotionStride, minVel, slotID);
}
CANError CANPIDController::SetSmartMotionAllowedClosedLoopError(double allowedErr, int slotID) {
  return SetSlotFloat(Parameter::kSmartMotionAllowedClosedLoopError_0, kMotionStride, allowedErr,
                      slotID);
}
CANError CANPIDController::SetSmartMotionAccelStrategy(AccelStrategy accelStrategy, int slotID) {
  // The controller keeps the strategy as a float.
  const auto value = static_cast<double>(static_cast<int32_t>(accelStrategy));
  return SetSlotFloat(Parameter::kSmartMotionAccelStrategy_0, kMotionStride, value, slotID);
}

double CANPIDController::GetSmartMotionMaxVelocity(int slotID) {
  return GetSlotFloat(Parameter::kSmartMotionMaxVelocity_0, kMotionStride, slotID);
}
double CANPIDController::GetSmartMotionMaxAccel(int slotID) {
  return GetSlotFloat(Parameter::kSmartMotionMaxAccel_0, kMotionStride, slotID);
}
double CANPIDController::GetSmartMotionMinOutputVelocity(int slotID) {
  return GetSlotFloat(Parameter::kSmartMotionMinOutputVelocity_0, kMotionStride, slotID);
}
double CANPIDController::GetSmartMotionAllowedClosedLoopError(int slotID) {
  return GetSlotFloat(Parameter::kSmartMotionAllowedClosedLoopError_0, kMotionStride, slotID);
}
CANPIDController::AccelStrategy CANPIDController::GetSmartMotionAccelStrategy(int slotID) {
  // Truncated toward zero; NaN and values beyond int32 stay defined.
  const double stored = GetSlotFloat(Parameter::kSmartMotionAccelStrategy_0, kMotionStride, slotID);
  return static_cast<AccelStrategy>(wire::TruncToInt32Saturating(stored));
}

// ---------------------------------------------------------------------------
// Integral accumulator (limit: stride 4)
// ---------------------------------------------------------------------------

CANError CANPIDController::SetIMaxAccum(double iMaxAccum, int slotID) {
  return SetSlotFloat(Parameter::kIMaxAccum_0, kIMaxAccumStride, iMaxAccum, slotID);
}
double CANPIDController::GetIMaxAccum(int slotID) {
  return GetSlotFloat(Parameter::kIMaxAccum_0, kIMaxAccumStride, slotID);
}
CANError CANPIDController::SetIAccum(double iAccum) { return device.SetIAccum(iAccum); }
double CANPIDController::GetIAccum() { return device.GetPeriodicStatus2().iAccum; }

}  // namespace zem
