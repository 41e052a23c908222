// Turns the simulated bus's recorded trace into trace frames. Header-only so
// that the trace library itself needs no platform: a program that includes this
// already links the platform's HAL for halsim::GetCanTrace.
// Pure conversions of records the caller holds: any thread, no waits, no
// failures; FromSimTrace allocates the list it returns.
#pragma once

#include <vector>

#include "hal/simulation/SimRecords.h"
#include "tavrix/trace/TraceFrame.h"

namespace tavrix::trace {

// Flag bits of a HAL message id (HAL_CAN_IS_FRAME_REMOTE, HAL_CAN_IS_FRAME_11BIT).
constexpr uint32_t kHalRemoteFlag = 0x80000000u;
constexpr uint32_t kHalStandardFlag = 0x40000000u;

// A record is a frame on the wire unless it is a request to stop a repetition
// (negative period), which the platform records but never transmits.
inline bool IsWireFrame(const halsim::CanFrameRecord& record) { return record.periodMs >= 0; }

inline TraceFrame FromSimRecord(const halsim::CanFrameRecord& record) {
  TraceFrame frame;
  frame.timestampUs = record.timestampUs;
  frame.extended = (record.messageID & kHalStandardFlag) == 0;
  frame.remote = (record.messageID & kHalRemoteFlag) != 0;
  frame.id = record.messageID & (frame.extended ? kExtendedIdMask : kStandardIdMask);
  frame.length =
      record.dataSize > kMaxDataLength ? static_cast<uint8_t>(kMaxDataLength) : record.dataSize;
  for (size_t i = 0; i < frame.length; ++i) frame.data[i] = record.data[i];
  return frame;
}

// The frames of a recorded trace, in bus order, without the stop requests.
inline std::vector<TraceFrame> FromSimTrace(const std::vector<halsim::CanFrameRecord>& records) {
  std::vector<TraceFrame> frames;
  frames.reserve(records.size());
  for (const halsim::CanFrameRecord& record : records) {
    if (IsWireFrame(record)) frames.push_back(FromSimRecord(record));
  }
  return frames;
}

}  // namespace tavrix::trace
