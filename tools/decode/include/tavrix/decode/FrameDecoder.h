// Names and decodes the frames of a bus trace by the controller's frame
// catalogue. Frames of other manufacturers or device types are classified as
// such and shown raw.
//
// A trace carries no direction, so requests and replies on the same id are
// told apart by order: a frame on a parameter, firmware or follower id that
// follows a request (or a follower command) on that id within kReplyWindowUs
// is its reply (or echo). The decoder keeps that little state between frames,
// so one decoder is used from one thread at a time; the free functions keep
// none. Decoding allocates the text; nothing fails or throws: what the
// catalogue does not know is shown raw or marked unknown.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "tavrix/trace/TraceFrame.h"

namespace tavrix::decode {

enum class FrameKind {
  kSetpoint,
  kSetpointNeverSet,
  kHeartbeat,
  kStatus0,
  kStatus1,
  kStatus2,
  kStatusPeriod,
  kParameterWrite,
  kParameterRequest,
  kParameterReply,
  kFirmwareRequest,
  kFirmwareReply,
  kFollowerCommand,
  kFollowerEcho,
  kClearFaults,
  kBurnFlash,
  kFactoryDefaults,
  kSetEncoderPosition,
  kSetIAccum,
  kUnknownApi,   // this manufacturer and device type, an API id the catalogue lacks
  kOtherDevice,  // another manufacturer or device type, or a standard id
};

// A short name for tables, e.g. "status 1", "parameter write".
const char* FrameKindName(FrameKind kind);

constexpr uint64_t kReplyWindowUs = 1000000;

struct DecodedFrame {
  FrameKind kind = FrameKind::kOtherDevice;
  int32_t device = 0;  // device number (low 6 bits of the id)
  int32_t api = 0;     // API id (bits 6..15)
  std::string fields;  // the decoded content, e.g. "kP_0 (id 13) = 0.5 kFloat32"
};

class FrameDecoder {
 public:
  DecodedFrame Decode(const trace::TraceFrame& frame);

 private:
  FrameKind Classify(const trace::TraceFrame& frame, int32_t api);
  bool TakePending(const trace::TraceFrame& frame);
  void SetPending(const trace::TraceFrame& frame);

  // Arbitration id -> time of the request or command that awaits an answer.
  std::map<uint32_t, uint64_t> pending_;
};

// One line: time, id, length, bytes, then device, kind and fields.
std::string FormatFrameLine(const trace::TraceFrame& frame, const DecodedFrame& decoded);

}  // namespace tavrix::decode
