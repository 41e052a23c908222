// Bus load of a trace: frames per second per frame kind and the share of a
// 1 Mbit/s bus that the frames occupy.
//
// Bit length of one frame on the wire, with n data bytes (0 for a remote request):
//   extended data frame: 67 + 8n bits (SOF 1, identifier 11 + 18, SRR, IDE, RTR,
//     two reserved bits, DLC 4, data 8n, CRC 15, CRC delimiter, ACK 2, EOF 7,
//     interframe space 3)
//   standard data frame: 47 + 8n bits
// Stuff bits: the transmitter inserts one after five equal bits in the region
// from SOF to the end of the CRC (54 + 8n bits extended, 34 + 8n standard). The
// worst case adds floor((region - 1) / 4) bits, so an extended frame takes at most
//   67 + 8n + floor((54 + 8n - 1) / 4)
// bits (160 bits for 8 data bytes), a standard frame 47 + 8n + floor((34 + 8n - 1) / 4).
// Utilisation is the sum of the frames' bits divided by the bits the bus could
// carry in the duration (duration in seconds times 1,000,000).
// The free functions keep no state and may be called from any thread at once;
// a BusStatsBuilder from one thread at a time. The builder and the formatter
// allocate; nothing waits or throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tavrix/trace/TraceFrame.h"

namespace tavrix::trace {

constexpr uint64_t kBusBitRate = 1000000;  // bits per second

struct FrameBits {
  uint32_t plain = 0;         // without stuff bits
  uint32_t worstStuffed = 0;  // with the largest possible number of stuff bits
};

FrameBits FrameBitLength(const TraceFrame& frame);

struct KindStats {
  std::string kind;
  uint64_t frames = 0;
  uint64_t bits = 0;
  uint64_t stuffedBits = 0;
};

struct BusSummary {
  uint64_t durationUs = 0;
  uint64_t frames = 0;
  uint64_t bits = 0;
  uint64_t stuffedBits = 0;
  std::vector<KindStats> kinds;  // most frequent first, ties by name
  SkippedFrames skipped;         // records of the trace left out of the figures

  // All three give 0 when the duration is 0.
  double FramesPerSecond(uint64_t count) const;
  double Utilisation() const;  // 0..1 (may exceed 1 for an impossible trace)
  double WorstCaseUtilisation() const;
};

// Collects frames with the kind name that the caller gives each one.
class BusStatsBuilder {
 public:
  void Add(const TraceFrame& frame, const std::string& kind);
  // The time from the first to the last frame added (0 with fewer than two).
  uint64_t SpanUs() const;
  // durationUs 0 means: use SpanUs().
  BusSummary Finish(uint64_t durationUs = 0) const;

 private:
  std::vector<KindStats> kinds_;
  uint64_t frames_ = 0;
  uint64_t firstUs_ = 0;
  uint64_t lastUs_ = 0;
};

// A readable table: one row per kind (frames, frames per second, share of the
// bus) and the totals with and without worst-case stuffing, then the skipped
// records when there were any.
std::string FormatBusSummary(const BusSummary& summary);

}  // namespace tavrix::trace
