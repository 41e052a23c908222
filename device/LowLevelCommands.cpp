// Setpoint and state commands of the low-level device: setpoints handed to the
// driver's setpoint table, the control-frame period, the encoder-position and
// integral-accumulator commands, and the follower command with its echo check.
#include <cmath>
#include <cstring>

#include "ReplyWait.h"
#include "tavrix/CANTavrixLowLevel.h"
#include "tavrix/TavrixDriver.h"

namespace zem {

namespace {

bool IsValidControlType(ControlType controlType) {
  const auto index = static_cast<int32_t>(controlType);
  return index >= 0 && index < static_cast<int32_t>(wire::kSetpointApiIds.size());
}

int32_t SetpointApiId(ControlType controlType) {
  return wire::kSetpointApiIds[static_cast<size_t>(controlType)];
}

// For duty cycle 0.0 stops the motor, so a value that cannot be sent may
// become 0.0. For a closed-loop type 0.0 is a target like any other (a
// position, a speed): a non-finite target or feed-forward is refused instead,
// and the previous setpoint keeps going out.
bool AcceptsNonFinite(ControlType controlType) { return controlType == ControlType::kControlType0; }

}  // namespace

CANError CANTavrixLowLevel::SetpointCommand(double value, ControlType controlType, int pidSlot,
                                            double auxValue) {
  if (!IsValidControlType(controlType)) return CANError::kFailed;
  const int32_t apiId = SetpointApiId(controlType);

  int16_t auxWord = wire::AuxWordFromValue(auxValue);
  if (inverted) {
    // The word is limited to +-32767, so its negation always fits.
    auxWord = static_cast<int16_t>(-auxWord);
    value = -value;
  }
  // Beyond the float range the saturating conversion gives an infinity, so
  // "beyond the float range" and "non-finite" are one test on the float.
  const float asFloat = wire::ToFloatSaturating(value);
  if (!AcceptsNonFinite(controlType) && !(std::isfinite(asFloat) && std::isfinite(auxValue))) {
    return CANError::kFailed;
  }
  const float setpoint = wire::SafeFloat(asFloat);
  const auto slot = static_cast<uint8_t>(static_cast<uint32_t>(pidSlot) & 0xFFu);

  ZEM_CANTavrixSetDriverSet4(deviceId, setpoint, apiId, slot, auxWord);
  return CANError::kSuccess;
}

void CANTavrixLowLevel::SetControlFramePeriodMs(int periodMs) {
  ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(deviceId, periodMs);
}

CANError CANTavrixLowLevel::SetEncPosition(double position) {
  float sent = wire::ToFloatSaturating(position);
  if (inverted) sent *= -1.0f;
  WriteValueFrame(wire::api::kSetEncoderPosition, wire::FloatBits(sent), wire::type::kFloat32);
  return CANError::kSuccess;
}

CANError CANTavrixLowLevel::SetIAccum(double value) {
  float sent = wire::ToFloatSaturating(value);
  if (inverted) sent *= -1.0f;
  WriteValueFrame(wire::api::kSetIAccum, wire::FloatBits(sent), wire::type::kFloat32);
  return CANError::kSuccess;
}

CANError CANTavrixLowLevel::SetFollow(FollowConfig config) {
  const wire::Payload command = wire::EncodeFollow(config.leaderFrameId, config.configWord);
  frc::CANData reply{};
  if (!detail::RequestReply(canDevice, wire::api::kFollower, command.data(), wire::kPayloadLength,
                            ReplyTimeoutMs(), &reply)) {
    return CANError::kNoReply;
  }
  if (reply.length < wire::kPayloadLength) return CANError::kFailed;
  const bool echoed =
      std::memcmp(reply.data, command.data(), static_cast<size_t>(wire::kPayloadLength)) == 0;
  return echoed ? CANError::kSuccess : CANError::kFailed;
}

}  // namespace zem
