// One CAN frame of a recorded bus trace, independent of where it was recorded
// (the simulated bus, a candump log, a pcap file), plus the small result types
// that the trace readers share.
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

struct TraceFrame {
  uint64_t timestampUs = 0;  // microseconds since the trace's time origin
  uint32_t id = 0;           // 29-bit (extended) or 11-bit (standard) identifier, no flag bits
  bool extended = true;
  bool remote = false;       // remote request: `length` is the requested length, no data
  uint8_t length = 0;        // 0..8
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

// What a reader produced: every frame it could read and every problem it met.
// Readers never stop at a bad line of a log; a pcap reader stops at the first
// damaged record, since the following record boundaries are then unknown.
struct ReadResult {
  std::vector<TraceFrame> frames;
  std::vector<ReadError> errors;
  bool ok() const { return errors.empty(); }
};

}  // namespace tavrix::trace
