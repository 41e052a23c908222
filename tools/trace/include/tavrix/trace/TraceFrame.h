// One CAN frame of a recorded bus trace, independent of where it was recorded
// (the simulated bus, a candump log, a pcap file), plus the small result types
// that the trace readers share. Plain values, no calls that can fail.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrix::trace {

constexpr uint32_t kExtendedIdMask = 0x1FFFFFFFu;
constexpr uint32_t kStandardIdMask = 0x7FFu;
constexpr int kMaxDataLength = 8;

// Flag bits of the SocketCAN can_id word; candump also writes an error frame's
// id with kCanErrFlag set (8 hex digits, 2xxxxxxx).
constexpr uint32_t kCanEffFlag = 0x80000000u;  // extended frame format
constexpr uint32_t kCanRtrFlag = 0x40000000u;  // remote transmission request
constexpr uint32_t kCanErrFlag = 0x20000000u;  // error frame

struct TraceFrame {
  uint64_t timestampUs = 0;  // microseconds since the trace's time origin
  uint32_t id = 0;           // 29-bit (extended) or 11-bit (standard) identifier, no flag bits
  bool extended = true;
  bool remote = false;  // remote request: `length` is the requested length, no data
  uint8_t length = 0;   // 0..8
  std::array<uint8_t, kMaxDataLength> data{};

  bool operator==(const TraceFrame& other) const {
    return timestampUs == other.timestampUs && id == other.id && extended == other.extended &&
           remote == other.remote && length == other.length && data == other.data;
  }
  bool operator!=(const TraceFrame& other) const { return !(*this == other); }
};

// A problem found while reading a trace. `where` is a 1-based line number for
// candump logs and a byte offset for pcap files.
struct ReadError {
  uint64_t where = 0;
  std::string message;
};

// Well-formed records that are not classic data or remote frames: they are
// counted, not decoded (no controller sends them).
struct SkippedFrames {
  uint64_t errorFrames = 0;  // error frames (the error flag in the id)
  uint64_t fdFrames = 0;     // CAN FD frames
  uint64_t total() const { return errorFrames + fdFrames; }
  SkippedFrames& operator+=(const SkippedFrames& other) {
    errorFrames += other.errorFrames;
    fdFrames += other.fdFrames;
    return *this;
  }
};

// What a reader produced: every frame it could read, the records it skipped
// and every problem it met.
// Readers never stop at a bad line of a log; a pcap reader stops at the first
// damaged record, since the following record boundaries are then unknown.
struct ReadResult {
  std::vector<TraceFrame> frames;
  std::vector<ReadError> errors;
  SkippedFrames skipped;
  bool ok() const { return errors.empty(); }
};

}  // namespace tavrix::trace
