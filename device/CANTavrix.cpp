// The motor controller object: speed-controller operations as setpoints of
// control type 0, the typed settings over configuration parameters, telemetry
// over the status frames, follower mode and the view factories.
#include "tavrix/CANTavrix.h"

#include <array>

#include "tavrix/Wire.h"

namespace zem {

namespace {

using Parameter = CANTavrixLowLevel::ConfigParameter;
using Status = CANTavrixLowLevel::ParameterStatus;

constexpr double kDefaultConversionFactor = 1.0;
// The one-argument smart current limit leaves the other two at these values.
constexpr unsigned int kDefaultFreeLimit = 0;
constexpr unsigned int kDefaultLimitRpm = 20000;
// Parameter 74 takes 0 (off) or wire::kVoltageCompensationOn; this library never writes 1.
constexpr int32_t kVoltageCompensationOff = 0;

CANError BothSucceeded(Status first, Status second) {
  return (first == Status::kOK && second == Status::kOK) ? CANError::kSuccess : CANError::kFailed;
}

// The controller stores the reciprocal of the robot-facing ramp rate; 0 (of
// either sign) stays as it is. NaN compares unequal to 0 and stays NaN.
double Reciprocal(double value) { return value != 0.0 ? 1.0 / value : value; }

bool FaultBitSet(uint16_t word, CANTavrix::FaultID faultID) {
  const auto bit = static_cast<int32_t>(faultID);
  if (bit < 0 || bit >= wire::kFaultBitCount) return false;
  return ((static_cast<uint32_t>(word) >> bit) & 1u) != 0;
}

}  // namespace

const CANTavrix::ExternalFollower CANTavrix::kFollowerTavrix = {wire::kStatus0LeaderFrameId,
                                                                wire::kLeaderKindController};

CANError CANTavrix::ToCANError(ParameterStatus status) {
  return status == Status::kOK ? CANError::kSuccess : CANError::kFailed;
}

double CANTavrix::GetFloatParameterOrZero(ConfigParameter parameterId) {
  double value = 0.0;
  return GetParameter(parameterId, value) == Status::kOK ? value : 0.0;
}

CANTavrix::CANTavrix(int deviceID, MotorType type) : CANTavrixLowLevel(deviceID, type) {
  // Every construction resets both factors, whatever the controller held.
  SetParameter(Parameter::kPositionConversionFactor, kDefaultConversionFactor);
  SetParameter(Parameter::kVelocityConversionFactor, kDefaultConversionFactor);
  ClearFaults();
}

// ---------------------------------------------------------------------------
// Speed controller
// ---------------------------------------------------------------------------

void CANTavrix::Set(double speed) {
  setpoint = speed;
  // Control type 0 is always accepted, so there is no result to pass on.
  SetpointCommand(speed, ControlType::kControlType0, 0, 0.0);
}

double CANTavrix::Get() const { return setpoint; }

void CANTavrix::SetInverted(bool isInverted) { inverted = isInverted; }

bool CANTavrix::GetInverted() const { return inverted; }

// These three go through the virtual Set so that a subclass sees them.
void CANTavrix::Disable() { Set(0.0); }

void CANTavrix::StopMotor() { Set(0.0); }

void CANTavrix::PIDWrite(double output) { Set(output); }

// ---------------------------------------------------------------------------
// Views
// ---------------------------------------------------------------------------

CANEncoder CANTavrix::GetEncoder() { return CANEncoder(*this); }

CANPIDController CANTavrix::GetPIDController() { return CANPIDController(*this); }

CANDigitalInput CANTavrix::GetForwardLimitSwitch(CANDigitalInput::LimitSwitchPolarity polarity) {
  return CANDigitalInput(*this, CANDigitalInput::LimitSwitch::kForward, polarity);
}

CANDigitalInput CANTavrix::GetReverseLimitSwitch(CANDigitalInput::LimitSwitchPolarity polarity) {
  return CANDigitalInput(*this, CANDigitalInput::LimitSwitch::kReverse, polarity);
}

// ---------------------------------------------------------------------------
// Settings
// ---------------------------------------------------------------------------

CANError CANTavrix::SetSmartCurrentLimit(unsigned int limit) {
  // NOLINTNEXTLINE(readability-suspicious-call-argument): the one limit is the stall limit
  return SetSmartCurrentLimit(limit, kDefaultFreeLimit, kDefaultLimitRpm);
}

CANError CANTavrix::SetSmartCurrentLimit(unsigned int stallLimit, unsigned int freeLimit,
                                         unsigned int limitRPM) {
  if (SetParameter(Parameter::kSmartCurrentLimit, uint32_t{stallLimit}) != Status::kOK) {
    return CANError::kFailed;
  }
  if (SetParameter(Parameter::kSmartCurrentLimitArg2, uint32_t{freeLimit}) != Status::kOK) {
    return CANError::kFailed;
  }
  return ToCANError(SetParameter(Parameter::kSmartCurrentLimitArg3, uint32_t{limitRPM}));
}

CANError CANTavrix::SetSecondaryCurrentLimit(double limit, int limitCycles) {
  if (SetParameter(Parameter::kSecondaryCurrentLimit, limit) != Status::kOK) {
    return CANError::kFailed;
  }
  // The integer travels as its 32 bits.
  return ToCANError(
      SetParameter(Parameter::kSecondaryCurrentLimitArg2, static_cast<uint32_t>(limitCycles)));
}

CANError CANTavrix::SetIdleMode(IdleMode mode) {
  // Through int32 first: a scoped enum converts to an unsigned type only when
  // its value fits, and idle modes pass through unchecked.
  const auto word = static_cast<uint32_t>(static_cast<int32_t>(mode));
  return ToCANError(SetParameter(Parameter::kIdleMode, word));
}

CANTavrix::IdleMode CANTavrix::GetIdleMode() {
  int32_t value = 0;
  if (GetParameter(Parameter::kIdleMode, value) != Status::kOK) return IdleMode::kIdleMode1;
  return static_cast<IdleMode>(value);
}

CANError CANTavrix::EnableVoltageCompensation(double nominalVoltage) {
  // Both writes are always made.
  const Status voltage =
      SetParameter(Parameter::kVoltageCompensationNominalVoltage, nominalVoltage);
  const Status mode =
      SetParameter(Parameter::kVoltageCompensationMode, wire::kVoltageCompensationOn);
  return BothSucceeded(voltage, mode);
}

CANError CANTavrix::DisableVoltageCompensation() {
  const Status mode = SetParameter(Parameter::kVoltageCompensationMode, kVoltageCompensationOff);
  const Status voltage =
      SetParameter(Parameter::kVoltageCompensationNominalVoltage, kVoltageCompensationOff);
  return BothSucceeded(mode, voltage);
}

double CANTavrix::GetVoltageCompensationNominalVoltage() {
  return GetFloatParameterOrZero(Parameter::kVoltageCompensationNominalVoltage);
}

CANError CANTavrix::SetReciprocal(ConfigParameter parameterId, double rate) {
  return ToCANError(SetParameter(parameterId, Reciprocal(rate)));
}

double CANTavrix::GetReciprocal(ConfigParameter parameterId) {
  double stored = 0.0;
  if (GetParameter(parameterId, stored) != Status::kOK) return 0.0;
  return Reciprocal(stored);
}

CANError CANTavrix::SetOpenLoopRampRate(double rate) {
  return SetReciprocal(Parameter::kOpenLoopRampRate, rate);
}

CANError CANTavrix::SetClosedLoopRampRate(double rate) {
  return SetReciprocal(Parameter::kClosedLoopRampRate, rate);
}

double CANTavrix::GetOpenLoopRampRate() { return GetReciprocal(Parameter::kOpenLoopRampRate); }

double CANTavrix::GetClosedLoopRampRate() { return GetReciprocal(Parameter::kClosedLoopRampRate); }

// ---------------------------------------------------------------------------
// Follower mode
// ---------------------------------------------------------------------------

CANError CANTavrix::Follow(const CANTavrix& leader, bool invert) {
  return Follow(kFollowerTavrix, leader.GetDeviceId(), invert);
}

CANError CANTavrix::Follow(ExternalFollower leader, int deviceID, bool invert) {
  FollowConfig config;
  // Only the 6 bits of a device number belong in an arbitration id; more
  // would name some other frame.
  config.leaderFrameId =
      leader.leaderFrameId | (static_cast<uint32_t>(deviceID) & wire::kDeviceMask);
  config.configWord = wire::FollowConfigWord(leader.leaderKind, invert);
  return SetFollow(config);
}

bool CANTavrix::IsFollower() { return GetPeriodicStatus0().isFollower; }

// ---------------------------------------------------------------------------
// Telemetry
// ---------------------------------------------------------------------------

uint16_t CANTavrix::GetFaults() { return GetPeriodicStatus0().faults; }

uint16_t CANTavrix::GetStickyFaults() { return GetPeriodicStatus0().stickyFaults; }

bool CANTavrix::GetFault(FaultID faultID) { return FaultBitSet(GetFaults(), faultID); }

bool CANTavrix::GetStickyFault(FaultID faultID) { return FaultBitSet(GetStickyFaults(), faultID); }

double CANTavrix::GetBusVoltage() { return GetPeriodicStatus1().busVoltage; }

double CANTavrix::GetAppliedOutput() { return GetPeriodicStatus0().appliedOutput; }

double CANTavrix::GetOutputCurrent() { return GetPeriodicStatus1().outputCurrent; }

double CANTavrix::GetMotorTemperature() {
  return static_cast<double>(GetPeriodicStatus1().motorTemperature);
}

// ---------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------

CANError CANTavrix::ClearFaults() {
  const std::array<uint8_t, 1> unused{};
  canDevice.WritePacket(unused.data(), 0, wire::api::kClearFaults);
  return CANError::kSuccess;
}

CANError CANTavrix::BurnFlash() {
  const auto payload = wire::EncodeBurnFlash();
  canDevice.WritePacket(payload.data(), static_cast<int>(payload.size()), wire::api::kBurnFlash);
  return CANError::kSuccess;
}

CANError CANTavrix::SetCANTimeout(int milliseconds) {
  canTimeoutMs = milliseconds;
  return CANError::kSuccess;
}

}  // namespace zem
