// Configuration parameters of the low-level device: typed writes and reads on
// API id 0x300 OR parameter id, the type table (from the protocol catalogue)
// and the factory-defaults command.
#include "ReplyWait.h"
#include "tavrix/CANTavrixLowLevel.h"

namespace zem {

void CANTavrixLowLevel::WriteValueFrame(int32_t apiId, uint32_t word, uint8_t typeCode) {
  const auto payload = wire::EncodeValueFrame(word, typeCode);
  canDevice.WritePacket(payload.data(), wire::kValueFrameLength, apiId);
}

int32_t CANTavrixLowLevel::ReplyTimeoutMs() const {
  // Passed on unchecked: with a zero or negative timeout a reply read looks
  // once without waiting.
  return canTimeoutMs;
}

CANTavrixLowLevel::ParameterStatus CANTavrixLowLevel::SetParameterCore(ConfigParameter parameterId,
                                                                       ParameterType type,
                                                                       uint32_t value) {
  const auto typeCode =
      static_cast<uint8_t>(static_cast<uint32_t>(static_cast<int32_t>(type)) & 0xFFu);
  WriteValueFrame(wire::ParameterApiId(static_cast<int32_t>(parameterId)), value, typeCode);
  return ParameterStatus::kOK;
}

CANTavrixLowLevel::ParameterStatus CANTavrixLowLevel::GetParameterCore(ConfigParameter parameterId,
                                                                       ParameterType /*type*/,
                                                                       uint32_t& value) {
  const int32_t apiId = wire::ParameterApiId(static_cast<int32_t>(parameterId));
  const uint8_t request[1] = {0};
  frc::CANData reply{};
  if (!detail::RequestReply(canDevice, apiId, request, 0, ReplyTimeoutMs(), &reply)) {
    return ParameterStatus::kTimeout;
  }
  // A reply without a whole value word carries no value: treat it as none.
  if (reply.length < wire::kValueWordLength) return ParameterStatus::kTimeout;
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

CANTavrixLowLevel::ParameterType CANTavrixLowLevel::GetParameterType(ConfigParameter parameterId) {
  switch (parameterId) {
#define TAVRIX_TYPE_CASE(name, id, type, simDefault) \
  case ConfigParameter::name: return ParameterType::type;
    // One case per catalogue row: many rows share a type.
    // NOLINTNEXTLINE(bugprone-branch-clone)
    TAVRIX_EACH_PARAMETER(TAVRIX_TYPE_CASE)
#undef TAVRIX_TYPE_CASE
  }
  // An id outside the list.
  return ParameterType::kUint32;
}

CANError CANTavrixLowLevel::RestoreFactoryDefaults(bool flag) {
  WriteValueFrame(wire::api::kFactoryDefaults, flag ? 1u : 0u, wire::type::kBool);
  return CANError::kSuccess;
}

}  // namespace zem
