// Configuration parameters of the low-level device: typed writes and reads on
// API id 0x300 OR parameter id, the type table and the factory-defaults command.
#include "ReplyWait.h"
#include "tavrix/CANTavrixLowLevel.h"

namespace zem {

namespace {

using ConfigParameter = CANTavrixLowLevel::ConfigParameter;
using ParameterType = CANTavrixLowLevel::ParameterType;

constexpr int32_t kSlotCount = 4;

// Per-slot families: the id lies in [first, first + stride * kSlotCount) and
// its offset from first, modulo stride, picks the member of the family.
constexpr bool InSlotFamily(int32_t id, int32_t first, int32_t stride) {
  return id >= first && id < first + stride * kSlotCount;
}

ParameterType TypeOfSlotParameter(int32_t id) {
  // Gains, I-zone, filter, output range (stride 8), motion profile (stride 5)
  // and I-max accumulator (stride 4) are all floats.
  if (InSlotFamily(id, static_cast<int32_t>(ConfigParameter::kP_0), 8)) {
    return ParameterType::kFloat32;
  }
  if (InSlotFamily(id, static_cast<int32_t>(ConfigParameter::kSmartMotionMaxVelocity_0), 5)) {
    return ParameterType::kFloat32;
  }
  const int32_t iMaxFirst = static_cast<int32_t>(ConfigParameter::kIMaxAccum_0);
  if (InSlotFamily(id, iMaxFirst, 4) && (id - iMaxFirst) % 4 == 0) {
    return ParameterType::kFloat32;
  }
  return ParameterType::kUint32;
}

}  // namespace

void CANTavrixLowLevel::WriteValueFrame(int32_t apiId, uint32_t word, uint8_t typeCode) {
  const auto payload = wire::EncodeValueFrame(word, typeCode);
  canDevice.WritePacket(payload.data(), wire::kValueFrameLength, apiId);
}

int32_t CANTavrixLowLevel::ReplyTimeoutMs() const {
  // Passed on unchecked: with a zero or negative timeout a reply read looks
  // once without waiting.
  return canTimeoutMs;
}

CANTavrixLowLevel::ParameterStatus CANTavrixLowLevel::SetParameterCore(
    ConfigParameter parameterId, ParameterType type, uint32_t value) {
  const auto typeCode = static_cast<uint8_t>(static_cast<uint32_t>(static_cast<int32_t>(type)) & 0xFFu);
  WriteValueFrame(wire::ParameterApiId(static_cast<int32_t>(parameterId)), value, typeCode);
  return ParameterStatus::kOK;
}

CANTavrixLowLevel::ParameterStatus CANTavrixLowLevel::GetParameterCore(
    ConfigParameter parameterId, ParameterType /*type*/, uint32_t& value) {
  const int32_t apiId = wire::ParameterApiId(static_cast<int32_t>(parameterId));
  const uint8_t request[1] = {0};
  frc::CANData reply{};
  if (!detail::RequestReply(canDevice, apiId, request, 0, ReplyTimeoutMs(), &reply)) {
    return ParameterStatus::kTimeout;
  }
  // A reply without a whole value word carries no value: treat it as none.
  if (reply.length < 4) return ParameterStatus::kTimeout;
  value = wire::DecodeValueFrame(reply.data, reply.length).word;
  return ParameterStatus::kOK;
}

CANTavrixLowLevel::ParameterStatus CANTavrixLowLevel::SetParameter(ConfigParameter parameterId,
                                                                   int value) {
  return SetParameterCore(parameterId, ParameterType::kInt32, static_cast<uint32_t>(value));
}

CANTavrixLowLevel::ParameterStatus CANTavrixLowLevel::SetParameter(ConfigParameter parameterId,
                                                                   uint32_t value) {
  return SetParameterCore(parameterId, ParameterType::kUint32, value);
}

CANTavrixLowLevel::ParameterStatus CANTavrixLowLevel::SetParameter(ConfigParameter parameterId,
                                                                   double value) {
  return SetParameterCore(parameterId, ParameterType::kFloat32,
                          wire::FloatBits(wire::ToFloatSaturating(value)));
}

CANTavrixLowLevel::ParameterStatus CANTavrixLowLevel::SetParameter(ConfigParameter parameterId,
                                                                   bool value) {
  return SetParameterCore(parameterId, ParameterType::kBool, value ? 1u : 0u);
}

CANTavrixLowLevel::ParameterStatus CANTavrixLowLevel::GetParameter(ConfigParameter parameterId,
                                                                   double& value) {
  uint32_t word = 0;
  const ParameterStatus status = GetParameterCore(parameterId, ParameterType::kFloat32, word);
  if (status == ParameterStatus::kOK) value = static_cast<double>(wire::BitsToFloat(word));
  return status;
}

CANTavrixLowLevel::ParameterStatus CANTavrixLowLevel::GetParameter(ConfigParameter parameterId,
                                                                   int& value) {
  uint32_t word = 0;
  const ParameterStatus status = GetParameterCore(parameterId, ParameterType::kInt32, word);
  if (status == ParameterStatus::kOK) value = static_cast<int32_t>(word);
  return status;
}

CANTavrixLowLevel::ParameterStatus CANTavrixLowLevel::GetParameter(ConfigParameter parameterId,
                                                                   uint32_t& value) {
  return GetParameterCore(parameterId, ParameterType::kUint32, value);
}

CANTavrixLowLevel::ParameterStatus CANTavrixLowLevel::GetParameter(ConfigParameter parameterId,
                                                                   bool& value) {
  uint32_t word = 0;
  const ParameterStatus status = GetParameterCore(parameterId, ParameterType::kBool, word);
  if (status == ParameterStatus::kOK) value = word != 0;
  return status;
}

CANTavrixLowLevel::ParameterType CANTavrixLowLevel::GetParameterType(
    ConfigParameter parameterId) {
  switch (parameterId) {
    case ConfigParameter::kSecondaryCurrentLimit:
    case ConfigParameter::kOpenLoopRampRate:
    case ConfigParameter::kVoltageCompensationNominalVoltage:
    case ConfigParameter::kPositionConversionFactor:
    case ConfigParameter::kVelocityConversionFactor:
    case ConfigParameter::kClosedLoopRampRate:
      return ParameterType::kFloat32;
    case ConfigParameter::kForwardLimitSwitchPolarity:
    case ConfigParameter::kReverseLimitSwitchPolarity:
    case ConfigParameter::kForwardLimitSwitchEnabled:
    case ConfigParameter::kReverseLimitSwitchEnabled:
      return ParameterType::kBool;
    default:
      return TypeOfSlotParameter(static_cast<int32_t>(parameterId));
  }
}

CANError CANTavrixLowLevel::RestoreFactoryDefaults(bool flag) {
  WriteValueFrame(wire::api::kFactoryDefaults, flag ? 1u : 0u, wire::type::kBool);
  return CANError::kSuccess;
}

}  // namespace zem
