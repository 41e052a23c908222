// Frame classification and field decoding. Every payload is read through the
// wire protocol header, the same code the library and the simulated
// controller use, so the decoder shows what the two ends understand.
#include "tavrix/decode/FrameDecoder.h"

#include <cstdarg>
#include <cstdio>

#include "tavrix/Wire.h"
#include "tavrix/decode/ParameterNames.h"

namespace tavrix::decode {
namespace {

namespace wire = zem::wire;
using trace::TraceFrame;

constexpr int kFaultBits = wire::kFaultBitCount;
// The registry word has one bit per device number.
constexpr int kRegistryBits = static_cast<int>(wire::kDeviceMask) + 1;
constexpr int kSetpointLength = wire::kPayloadLength;
constexpr int kStatusLength = wire::kPayloadLength;
constexpr int kPeriodCommandLength = wire::kPeriodCommandLength;
constexpr int kBurnFlashLength = wire::kBurnFlashLength;
constexpr int kHeartbeatLength = wire::kPayloadLength;
constexpr int kFollowLength = wire::kPayloadLength;
constexpr int kValueLength = wire::kValueFrameLength;
constexpr int kValueWordLength = wire::kValueWordLength;
constexpr double kAuxWordScale = wire::kAuxWordScale;

__attribute__((format(printf, 2, 3))) void Appendf(std::string& out, const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  out += buffer;
}

int Length(const TraceFrame& frame) {
  return frame.length > trace::kMaxDataLength ? trace::kMaxDataLength : frame.length;
}

// A note when the payload is not as long as the catalogue says.
void AppendLengthNote(std::string& out, const TraceFrame& frame, int expected) {
  if (Length(frame) != expected) Appendf(out, " [%d bytes, expected %d]", Length(frame), expected);
}

const char* FaultName(int bit) {
  static const char* const kNames[kFaultBits] = {
      "kFaultBit0",  "kFaultBit1",  "kFaultBit2",          "kFaultBit3",
      "kFaultBit4",  "kFaultBit5",  "kFaultBit6",          "kFaultBit7",
      "kFaultBit8",  "kFaultBit9",  "kFaultBit10",         "kFaultBit11",
      "kFaultBit12", "kFaultBit13", "kForwardLimitSwitch", "kReverseLimitSwitch"};
  return kNames[bit];
}
static_assert(wire::kForwardLimitFaultBit == 14 && wire::kReverseLimitFaultBit == 15,
              "the names above place the limit switches at bits 14 and 15");

void AppendFaultWord(std::string& out, const char* label, uint16_t word) {
  Appendf(out, "%s 0x%04X", label, word);
  if (word == 0) return;
  out += " (";
  bool first = true;
  for (int bit = 0; bit < kFaultBits; ++bit) {
    if (((static_cast<unsigned>(word) >> bit) & 1u) == 0) continue;
    if (!first) out += ' ';
    out += FaultName(bit);
    first = false;
  }
  out += ')';
}

// A value word shown by its type code; unknown codes show the raw word.
void AppendTypedValue(std::string& out, uint32_t word, uint8_t typeCode) {
  switch (typeCode) {
    case wire::type::kInt32:
      Appendf(out, "%d", static_cast<int>(static_cast<int32_t>(word)));
      return;
    case wire::type::kUint32: Appendf(out, "%u", static_cast<unsigned>(word)); return;
    case wire::type::kFloat32:
      Appendf(out, "%.9g", static_cast<double>(wire::BitsToFloat(word)));
      return;
    case wire::type::kBool:
      out += word != 0 ? "true" : "false";
      if (word > 1) Appendf(out, " (word 0x%08X)", static_cast<unsigned>(word));
      return;
    default: Appendf(out, "word 0x%08X", static_cast<unsigned>(word));
  }
}

void AppendTypeName(std::string& out, uint8_t typeCode) {
  const char* name = ParameterTypeName(typeCode);
  if (name != nullptr) {
    out += name;
  } else {
    Appendf(out, "type %u (unknown)", static_cast<unsigned>(typeCode));
  }
}

void AppendParameterName(std::string& out, int32_t parameterId) {
  const ParameterInfo* info = FindParameter(parameterId);
  if (info != nullptr) {
    Appendf(out, "%s (id %d)", info->name, static_cast<int>(parameterId));
  } else {
    Appendf(out, "parameter %d (unknown)", static_cast<int>(parameterId));
  }
}

std::string DecodeSetpoint(const TraceFrame& frame, int32_t api) {
  const wire::Setpoint s = wire::DecodeSetpoint(frame.data.data(), Length(frame));
  std::string out;
  const int controlType = wire::ControlTypeOfApi(api);
  if (controlType >= 0) Appendf(out, "kControlType%d ", controlType);
  Appendf(out, "value %.9g aux %d (%.9g) slot %u", static_cast<double>(s.value),
          static_cast<int>(s.aux), static_cast<double>(s.aux) / kAuxWordScale,
          static_cast<unsigned>(s.pidSlot));
  if (Length(frame) == kSetpointLength && frame.data[7] != 0) {
    Appendf(out, " byte7 0x%02X", static_cast<unsigned>(frame.data[7]));
  }
  AppendLengthNote(out, frame, kSetpointLength);
  return out;
}

std::string DecodeHeartbeat(const TraceFrame& frame) {
  const uint64_t word = wire::DecodeHeartbeat(frame.data.data(), Length(frame));
  std::string out;
  Appendf(out, "registry 0x%016llX", static_cast<unsigned long long>(word));
  if (word == 0) {
    out += " (disabled, or no device registered)";
  } else {
    out += " devices";
    for (int d = 0; d < kRegistryBits; ++d) {
      if (((word >> d) & 1u) != 0) Appendf(out, " %d", d);
    }
  }
  AppendLengthNote(out, frame, kHeartbeatLength);
  return out;
}

std::string DecodeStatus0(const TraceFrame& frame) {
  const wire::Status0 s = wire::DecodeStatus0(frame.data.data(), Length(frame), 1.0);
  std::string out;
  Appendf(out, "applied %.9g ", s.appliedOutput);
  AppendFaultWord(out, "faults", s.faults);
  out += ' ';
  AppendFaultWord(out, "sticky", s.stickyFaults);
  Appendf(out, " follower %s", s.isFollower ? "yes" : "no");
  if (s.byte6Bits2To3 != 0 || s.byte6Bit4 != 0) {
    Appendf(out, " byte6[2:3] %u byte6[4] %u", static_cast<unsigned>(s.byte6Bits2To3),
            static_cast<unsigned>(s.byte6Bit4));
  }
  AppendLengthNote(out, frame, kStatusLength);
  return out;
}

std::string DecodeStatus1(const TraceFrame& frame) {
  const wire::Status1 s = wire::DecodeStatus1(frame.data.data(), Length(frame), 1.0);
  std::string out;
  Appendf(out, "velocity %.9g temperature %u bus %.7g V current %.7g A", s.velocity,
          static_cast<unsigned>(s.motorTemperature), s.busVoltage, s.outputCurrent);
  AppendLengthNote(out, frame, kStatusLength);
  return out;
}

std::string DecodeStatus2(const TraceFrame& frame) {
  const wire::Status2 s = wire::DecodeStatus2(frame.data.data(), Length(frame), 1.0);
  std::string out;
  Appendf(out, "position %.9g iAccum %.9g", s.position, s.iAccum);
  AppendLengthNote(out, frame, kStatusLength);
  return out;
}

std::string DecodeStatusPeriod(const TraceFrame& frame, int32_t api) {
  std::string out;
  Appendf(out, "status %d period %d ms", static_cast<int>(api - wire::api::kStatus0),
          static_cast<int>(wire::DecodePeriodCommand(frame.data.data(), Length(frame))));
  return out;
}

std::string DecodeParameterWrite(const TraceFrame& frame, int32_t parameterId) {
  const wire::ValueFrame v = wire::DecodeValueFrame(frame.data.data(), Length(frame));
  std::string out;
  AppendParameterName(out, parameterId);
  out += " = ";
  AppendTypedValue(out, v.word, v.type);
  out += ' ';
  AppendTypeName(out, v.type);
  AppendLengthNote(out, frame, kValueLength);
  return out;
}

// A reply carries the value word and, from this controller, the type byte;
// without one the value is shown by the type the library writes.
std::string DecodeParameterReply(const TraceFrame& frame, int32_t parameterId) {
  const wire::ValueFrame v = wire::DecodeValueFrame(frame.data.data(), Length(frame));
  const ParameterInfo* info = FindParameter(parameterId);
  std::string out;
  AppendParameterName(out, parameterId);
  out += " = ";
  if (Length(frame) >= kValueLength) {
    AppendTypedValue(out, v.word, v.type);
    out += ' ';
    AppendTypeName(out, v.type);
  } else {
    AppendTypedValue(out, v.word, info != nullptr ? info->type : 0xFF);
    if (Length(frame) < kValueWordLength) {
      Appendf(out, " [%d bytes, expected at least %d]", Length(frame), kValueWordLength);
    }
  }
  return out;
}

std::string DecodeFirmwareReply(const TraceFrame& frame) {
  const wire::Firmware f = wire::DecodeFirmware(frame.data.data(), Length(frame));
  std::string out;
  Appendf(out, "version v%u.%u.%u (0x%08X)%s", static_cast<unsigned>(f.Major()),
          static_cast<unsigned>(f.Minor()), static_cast<unsigned>(f.Build()),
          static_cast<unsigned>(f.version), f.debugBuild ? " debug build" : "");
  if (Length(frame) < wire::kFirmwareReplyLength) {
    Appendf(out, " [%d bytes, expected at least %d]", Length(frame), wire::kFirmwareReplyLength);
  }
  return out;
}

std::string DecodeFollow(const TraceFrame& frame) {
  const wire::Follow f = wire::DecodeFollow(frame.data.data(), Length(frame));
  std::string out;
  Appendf(out, "leader frame 0x%08X", static_cast<unsigned>(f.leaderFrameId));
  if (wire::IsControllerId(f.leaderFrameId)) {
    Appendf(out, " (device %d api 0x%03X)", static_cast<int>(wire::DeviceOf(f.leaderFrameId)),
            static_cast<unsigned>(wire::ApiOf(f.leaderFrameId)));
  }
  Appendf(out, " kind %u%s invert %s", static_cast<unsigned>(f.LeaderKind()),
          f.LeaderKind() == wire::kLeaderKindController ? " (this controller kind)" : "",
          f.Invert() ? "yes" : "no");
  AppendLengthNote(out, frame, kFollowLength);
  return out;
}

std::string DecodeValueCommand(const TraceFrame& frame) {
  const wire::ValueFrame v = wire::DecodeValueFrame(frame.data.data(), Length(frame));
  std::string out = "value ";
  AppendTypedValue(out, v.word, v.type);
  out += ' ';
  AppendTypeName(out, v.type);
  AppendLengthNote(out, frame, kValueLength);
  return out;
}

std::string DecodeBurnFlash(const TraceFrame& frame) {
  const bool keyOk = wire::IsBurnFlashCommand(frame.data.data(), Length(frame));
  std::string out;
  if (keyOk) {
    Appendf(out, "key 0x%04X", static_cast<unsigned>(wire::kBurnFlashKey));
  } else {
    out = "wrong key (ignored by the controller)";
  }
  AppendLengthNote(out, frame, kBurnFlashLength);
  return out;
}

std::string DecodeRaw(const TraceFrame& frame) {
  std::string out;
  if (!frame.extended) {
    Appendf(out, "standard id 0x%03X", static_cast<unsigned>(frame.id));
  } else {
    Appendf(out, "device type %d manufacturer %d api 0x%03X device %d",
            static_cast<int>(wire::DeviceTypeOf(frame.id)),
            static_cast<int>(wire::ManufacturerOf(frame.id)),
            static_cast<unsigned>(wire::ApiOf(frame.id)),
            static_cast<int>(wire::DeviceOf(frame.id)));
  }
  if (frame.remote) out += " remote request";
  return out;
}

std::string DecodeFields(const TraceFrame& frame, FrameKind kind, int32_t api) {
  switch (kind) {
    case FrameKind::kSetpoint:
    case FrameKind::kSetpointNeverSet: return DecodeSetpoint(frame, api);
    case FrameKind::kHeartbeat: return DecodeHeartbeat(frame);
    case FrameKind::kStatus0: return DecodeStatus0(frame);
    case FrameKind::kStatus1: return DecodeStatus1(frame);
    case FrameKind::kStatus2: return DecodeStatus2(frame);
    case FrameKind::kStatusPeriod: return DecodeStatusPeriod(frame, api);
    case FrameKind::kParameterWrite: return DecodeParameterWrite(frame, wire::ParameterIdOf(api));
    case FrameKind::kParameterReply: return DecodeParameterReply(frame, wire::ParameterIdOf(api));
    case FrameKind::kParameterRequest: {
      std::string out;
      AppendParameterName(out, wire::ParameterIdOf(api));
      return out;
    }
    case FrameKind::kFirmwareReply: return DecodeFirmwareReply(frame);
    case FrameKind::kFollowerCommand:
    case FrameKind::kFollowerEcho: return DecodeFollow(frame);
    case FrameKind::kBurnFlash: return DecodeBurnFlash(frame);
    case FrameKind::kFactoryDefaults:
    case FrameKind::kSetEncoderPosition:
    case FrameKind::kSetIAccum: return DecodeValueCommand(frame);
    case FrameKind::kUnknownApi: {
      std::string out;
      Appendf(out, "api 0x%03X", static_cast<unsigned>(api));
      return out;
    }
    case FrameKind::kOtherDevice: return DecodeRaw(frame);
    case FrameKind::kFirmwareRequest:
    case FrameKind::kClearFaults: break;
  }
  return std::string();
}

FrameKind StatusKind(int32_t api) {
  if (api == wire::api::kStatus0) return FrameKind::kStatus0;
  return api == wire::api::kStatus1 ? FrameKind::kStatus1 : FrameKind::kStatus2;
}

bool IsStatusApi(int32_t api) {
  return api == wire::api::kStatus0 || api == wire::api::kStatus1 || api == wire::api::kStatus2;
}

}  // namespace

const char* FrameKindName(FrameKind kind) {
  switch (kind) {
    case FrameKind::kSetpoint: return "setpoint";
    case FrameKind::kSetpointNeverSet: return "setpoint (never set)";
    case FrameKind::kHeartbeat: return "heartbeat";
    case FrameKind::kStatus0: return "status 0";
    case FrameKind::kStatus1: return "status 1";
    case FrameKind::kStatus2: return "status 2";
    case FrameKind::kStatusPeriod: return "status period";
    case FrameKind::kParameterWrite: return "parameter write";
    case FrameKind::kParameterRequest: return "parameter request";
    case FrameKind::kParameterReply: return "parameter reply";
    case FrameKind::kFirmwareRequest: return "firmware request";
    case FrameKind::kFirmwareReply: return "firmware reply";
    case FrameKind::kFollowerCommand: return "follower command";
    case FrameKind::kFollowerEcho: return "follower echo";
    case FrameKind::kClearFaults: return "clear faults";
    case FrameKind::kBurnFlash: return "burn flash";
    case FrameKind::kFactoryDefaults: return "factory defaults";
    case FrameKind::kSetEncoderPosition: return "set encoder position";
    case FrameKind::kSetIAccum: return "set integral accum";
    case FrameKind::kUnknownApi: return "unknown api";
    case FrameKind::kOtherDevice: return "other device";
  }
  return "?";
}

bool FrameDecoder::TakePending(const TraceFrame& frame) {
  const auto it = pending_.find(frame.id);
  if (it == pending_.end()) return false;
  const bool inWindow =
      frame.timestampUs >= it->second && frame.timestampUs - it->second <= kReplyWindowUs;
  pending_.erase(it);
  return inWindow;
}

void FrameDecoder::SetPending(const TraceFrame& frame) { pending_[frame.id] = frame.timestampUs; }

FrameKind FrameDecoder::Classify(const TraceFrame& frame, int32_t api) {
  if (wire::ControlTypeOfApi(api) >= 0) return FrameKind::kSetpoint;
  if (api == wire::api::kSetpointNeverFilled) return FrameKind::kSetpointNeverSet;
  if (api == wire::api::kHeartbeat) return FrameKind::kHeartbeat;
  if (IsStatusApi(api)) {
    return Length(frame) == kPeriodCommandLength ? FrameKind::kStatusPeriod : StatusKind(api);
  }
  if (wire::IsParameterApi(api) || api == wire::api::kFirmwareVersion) {
    const bool isFirmware = api == wire::api::kFirmwareVersion;
    if (Length(frame) == 0) {
      SetPending(frame);
      return isFirmware ? FrameKind::kFirmwareRequest : FrameKind::kParameterRequest;
    }
    if (TakePending(frame) || isFirmware) {
      return isFirmware ? FrameKind::kFirmwareReply : FrameKind::kParameterReply;
    }
    return FrameKind::kParameterWrite;
  }
  switch (api) {
    case wire::api::kFollower:
      if (TakePending(frame)) return FrameKind::kFollowerEcho;
      SetPending(frame);
      return FrameKind::kFollowerCommand;
    case wire::api::kClearFaults: return FrameKind::kClearFaults;
    case wire::api::kBurnFlash: return FrameKind::kBurnFlash;
    case wire::api::kFactoryDefaults: return FrameKind::kFactoryDefaults;
    case wire::api::kSetEncoderPosition: return FrameKind::kSetEncoderPosition;
    case wire::api::kSetIAccum: return FrameKind::kSetIAccum;
    default: return FrameKind::kUnknownApi;
  }
}

DecodedFrame FrameDecoder::Decode(const TraceFrame& frame) {
  DecodedFrame decoded;
  decoded.device = wire::DeviceOf(frame.id);
  decoded.api = wire::ApiOf(frame.id);
  const bool ours = frame.extended && !frame.remote && wire::IsControllerId(frame.id);
  decoded.kind = ours ? Classify(frame, decoded.api) : FrameKind::kOtherDevice;
  decoded.fields = DecodeFields(frame, decoded.kind, decoded.api);
  return decoded;
}

std::string FormatFrameLine(const TraceFrame& frame, const DecodedFrame& decoded) {
  std::string line;
  Appendf(line, "%6llu.%06llu  ", static_cast<unsigned long long>(frame.timestampUs / 1000000u),
          static_cast<unsigned long long>(frame.timestampUs % 1000000u));
  Appendf(line, frame.extended ? "%08X" : "     %03X", static_cast<unsigned>(frame.id));
  Appendf(line, "  [%d] ", Length(frame));
  std::string bytes;
  if (frame.remote) bytes = "remote";
  for (int i = 0; !frame.remote && i < Length(frame); ++i) {
    Appendf(bytes, i == 0 ? "%02X" : " %02X",
            static_cast<unsigned>(frame.data[static_cast<size_t>(i)]));
  }
  Appendf(line, "%-23s  ", bytes.c_str());
  if (decoded.kind == FrameKind::kOtherDevice) {
    line += "raw: ";
  } else {
    Appendf(line, "dev %2d  %-20s ", static_cast<int>(decoded.device), FrameKindName(decoded.kind));
  }
  line += decoded.fields;
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace tavrix::decode
