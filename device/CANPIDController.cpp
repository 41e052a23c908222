// The closed-loop view: per-slot gains, limits and motion-profile settings
// (parameter id = slot-0 id + stride x slot, strides from the catalogue), the
// output range mirrored under inversion, the integral accumulator and
// references of every control type.
#include "tavrix/CANPIDController.h"

#include "tavrix/CANTavrix.h"
#include "tavrix/ProtocolCatalog.h"
#include "tavrix/Wire.h"

namespace zem {

namespace {

using Parameter = CANTavrixLowLevel::ConfigParameter;

constexpr uint32_t kLastSlot = wire::kSlotCount - 1;

// Compared unsigned so that every negative slot is out of range too.
bool SlotInRange(int slotID) { return static_cast<uint32_t>(slotID) <= kLastSlot; }

Parameter SlotParameter(Parameter slot0Id, int slotID) {
  return static_cast<Parameter>(wire::SlotLayoutOf(static_cast<int32_t>(slot0Id)).Id(slotID));
}

// Below 0 becomes 0, above 1 becomes 1; NaN passes unchanged.
double ClampToUnit(double value) {
  if (value < 0.0) return 0.0;
  if (value > 1.0) return 1.0;
  return value;
}

}  // namespace

CANPIDController::CANPIDController(CANTavrix& owner) : device(owner) {}

CANError CANPIDController::SetSlotFloat(ConfigParameter slot0Id, double value, int slotID) {
  if (!SlotInRange(slotID)) return CANError::kFailed;
  return CANTavrix::ToCANError(device.SetParameter(SlotParameter(slot0Id, slotID), value));
}

double CANPIDController::GetSlotFloat(ConfigParameter slot0Id, int slotID) {
  if (!SlotInRange(slotID)) return 0.0;
  return device.GetFloatParameterOrZero(SlotParameter(slot0Id, slotID));
}

CANError CANPIDController::SetReference(double value, ControlType ctrl, int pidSlot,
                                        double arbFeedforward) {
  return device.SetpointCommand(value, ctrl, pidSlot, arbFeedforward);
}

// ---------------------------------------------------------------------------
// Gains
// ---------------------------------------------------------------------------

CANError CANPIDController::SetP(double gain, int slotID) {
  return SetSlotFloat(Parameter::kP_0, gain, slotID);
}
CANError CANPIDController::SetI(double gain, int slotID) {
  return SetSlotFloat(Parameter::kI_0, gain, slotID);
}
CANError CANPIDController::SetD(double gain, int slotID) {
  return SetSlotFloat(Parameter::kD_0, gain, slotID);
}
CANError CANPIDController::SetDFilter(double gain, int slotID) {
  return SetSlotFloat(Parameter::kDFilter_0, ClampToUnit(gain), slotID);
}
CANError CANPIDController::SetFF(double gain, int slotID) {
  return SetSlotFloat(Parameter::kFF_0, gain, slotID);
}
CANError CANPIDController::SetIZone(double IZone, int slotID) {
  return SetSlotFloat(Parameter::kIZone_0, IZone, slotID);
}

double CANPIDController::GetP(int slotID) { return GetSlotFloat(Parameter::kP_0, slotID); }
double CANPIDController::GetI(int slotID) { return GetSlotFloat(Parameter::kI_0, slotID); }
double CANPIDController::GetD(int slotID) { return GetSlotFloat(Parameter::kD_0, slotID); }
double CANPIDController::GetDFilter(int slotID) {
  return GetSlotFloat(Parameter::kDFilter_0, slotID);
}
double CANPIDController::GetFF(int slotID) { return GetSlotFloat(Parameter::kFF_0, slotID); }
double CANPIDController::GetIZone(int slotID) { return GetSlotFloat(Parameter::kIZone_0, slotID); }

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
  if (SetSlotFloat(Parameter::kOutputMin_0, storedMin, slotID) != CANError::kSuccess) {
    return CANError::kFailed;
  }
  return SetSlotFloat(Parameter::kOutputMax_0, storedMax, slotID);
}

double CANPIDController::GetOutputMin(int slotID) {
  if (device.GetInverted()) return -GetSlotFloat(Parameter::kOutputMax_0, slotID);
  return GetSlotFloat(Parameter::kOutputMin_0, slotID);
}

double CANPIDController::GetOutputMax(int slotID) {
  if (device.GetInverted()) return -GetSlotFloat(Parameter::kOutputMin_0, slotID);
  return GetSlotFloat(Parameter::kOutputMax_0, slotID);
}

// ---------------------------------------------------------------------------
// Motion profile
// ---------------------------------------------------------------------------

CANError CANPIDController::SetSmartMotionMaxVelocity(double maxVel, int slotID) {
  return SetSlotFloat(Parameter::kSmartMotionMaxVelocity_0, maxVel, slotID);
}
CANError CANPIDController::SetSmartMotionMaxAccel(double maxAccel, int slotID) {
  return SetSlotFloat(Parameter::kSmartMotionMaxAccel_0, maxAccel, slotID);
}
CANError CANPIDController::SetSmartMotionMinOutputVelocity(double minVel, int slotID) {
  return SetSlotFloat(Parameter::kSmartMotionMinOutputVelocity_0, minVel, slotID);
}
CANError CANPIDController::SetSmartMotionAllowedClosedLoopError(double allowedErr, int slotID) {
  return SetSlotFloat(Parameter::kSmartMotionAllowedClosedLoopError_0, allowedErr, slotID);
}
CANError CANPIDController::SetSmartMotionAccelStrategy(AccelStrategy accelStrategy, int slotID) {
  // The controller keeps the strategy as a float.
  const auto value = static_cast<double>(static_cast<int32_t>(accelStrategy));
  return SetSlotFloat(Parameter::kSmartMotionAccelStrategy_0, value, slotID);
}

double CANPIDController::GetSmartMotionMaxVelocity(int slotID) {
  return GetSlotFloat(Parameter::kSmartMotionMaxVelocity_0, slotID);
}
double CANPIDController::GetSmartMotionMaxAccel(int slotID) {
  return GetSlotFloat(Parameter::kSmartMotionMaxAccel_0, slotID);
}
double CANPIDController::GetSmartMotionMinOutputVelocity(int slotID) {
  return GetSlotFloat(Parameter::kSmartMotionMinOutputVelocity_0, slotID);
}
double CANPIDController::GetSmartMotionAllowedClosedLoopError(int slotID) {
  return GetSlotFloat(Parameter::kSmartMotionAllowedClosedLoopError_0, slotID);
}
CANPIDController::AccelStrategy CANPIDController::GetSmartMotionAccelStrategy(int slotID) {
  // Truncated toward zero; NaN and values beyond int32 stay defined.
  const double stored = GetSlotFloat(Parameter::kSmartMotionAccelStrategy_0, slotID);
  return static_cast<AccelStrategy>(wire::TruncToInt32Saturating(stored));
}

// ---------------------------------------------------------------------------
// Integral accumulator and its per-slot limit
// ---------------------------------------------------------------------------

CANError CANPIDController::SetIMaxAccum(double iMaxAccum, int slotID) {
  return SetSlotFloat(Parameter::kIMaxAccum_0, iMaxAccum, slotID);
}
double CANPIDController::GetIMaxAccum(int slotID) {
  return GetSlotFloat(Parameter::kIMaxAccum_0, slotID);
}
CANError CANPIDController::SetIAccum(double iAccum) { return device.SetIAccum(iAccum); }
double CANPIDController::GetIAccum() { return device.GetPeriodicStatus2().iAccum; }

}  // namespace zem
