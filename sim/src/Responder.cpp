#include "Responder.h"

#include <algorithm>
#include <limits>

#include "tavrix/Wire.h"

namespace tavrix::sim::detail {
namespace {

namespace wire = zem::wire;
namespace api = zem::wire::api;

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
  return b > std::numeric_limits<uint64_t>::max() - a ? std::numeric_limits<uint64_t>::max()
                                                      : a + b;
}

}  // namespace

Responder::Responder(int deviceNumber, uint32_t firmwareVersion, bool debugBuild)
    : device_(deviceNumber), firmwareVersion_(firmwareVersion), debugBuild_(debugBuild) {}

Responder::Answer Responder::OnRequest(const Frame& f, int32_t apiId, CommandCounts* counts) {
  if (wire::IsParameterApi(apiId)) return ParameterRequest(f, wire::ParameterIdOf(apiId), counts);
  switch (apiId) {
    case api::kFirmwareVersion: return FirmwareRequest(f, counts);
    case api::kFollower: return Answer{false, FollowerEcho(f)};
    case api::kFactoryDefaults: FactoryDefaults(f); return Answer{};
    case api::kBurnFlash:
      if (wire::IsBurnFlashCommand(f.data, f.length)) burned_ = robot_;
      return Answer{};
    default: return Answer{};
  }
}

// An empty frame reads the parameter; a value frame writes it, which the robot
// reads back at once while the control step takes it at its own time.
Responder::Answer Responder::ParameterRequest(const Frame& f, int parameterId,
                                              CommandCounts* counts) {
  if (f.length >= wire::kValueFrameLength) {
    const wire::ValueFrame v = wire::DecodeValueFrame(f.data, f.length);
    robot_.Set(parameterId, ParameterValue{v.word, v.type});
  }
  if (f.length != 0) return Answer{};
  const std::optional<ParameterValue> value = robot_.Get(parameterId);
  if (!value) {
    ++counts->rejected;  // an unknown parameter: the request goes unanswered
    return Answer{true, std::nullopt};
  }
  ++counts->parameterReads;
  const auto reply = wire::EncodeValueFrame(value->word, value->type);
  return Answer{true, ReplyOf(f.timestampUs, wire::ParameterApiId(parameterId), reply.data(),
                              static_cast<int>(reply.size()))};
}

Responder::Answer Responder::FirmwareRequest(const Frame& f, CommandCounts* counts) const {
  if (f.length != 0) {
    ++counts->rejected;
    return Answer{true, std::nullopt};
  }
  ++counts->firmwareRequests;
  const auto reply = wire::EncodeFirmware(firmwareVersion_, debugBuild_);
  return Answer{true, ReplyOf(f.timestampUs, api::kFirmwareVersion, reply.data(),
                              static_cast<int>(reply.size()))};
}

std::optional<OutFrame> Responder::FollowerEcho(const Frame& f) const {
  if (f.length < wire::kPayloadLength) return std::nullopt;
  wire::Payload echo = wire::PadPayload(f.data, f.length);
  if (faults_.corruptFollowerEcho) echo[echo.size() - 1] ^= 0xFF;
  return ReplyOf(f.timestampUs, api::kFollower, echo.data(), static_cast<int>(echo.size()));
}

void Responder::FactoryDefaults(const Frame& f) {
  if (f.length < wire::kValueFrameLength) return;
  robot_.RestoreDefaults();
  // A set flag also makes the defaults the burned store.
  if (wire::DecodeValueFrame(f.data, f.length).word != 0) burned_ = robot_;
}

std::optional<OutFrame> Responder::ReplyOf(uint64_t timeUs, int32_t apiId, const uint8_t* data,
                                           int length) const {
  if (faults_.silent) return std::nullopt;
  if (faults_.replyLength >= 0) length = std::min(length, faults_.replyLength);
  OutFrame frame = MakeFrame(wire::ComposeId(device_, apiId), data, length);
  if (faults_.replyDelayUs != 0) frame.dueUs = SaturatingAdd(timeUs, faults_.replyDelayUs);
  return frame;
}

const ParameterStore& Responder::PowerCycle() {
  robot_ = burned_;
  return burned_;
}

void Responder::SetFirmware(uint32_t version, bool debugBuild) {
  firmwareVersion_ = version;
  debugBuild_ = debugBuild;
}

}  // namespace tavrix::sim::detail
