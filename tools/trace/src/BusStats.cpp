// Frame bit lengths and the bus-load summary of a trace.
#include "tavrix/trace/BusStats.h"

#include <algorithm>
#include <cstdio>

namespace tavrix::trace {
namespace {

constexpr uint32_t kExtendedOverheadBits = 67;
constexpr uint32_t kStandardOverheadBits = 47;
constexpr uint32_t kExtendedStuffRegionBits = 54;
constexpr uint32_t kStandardStuffRegionBits = 34;
constexpr uint32_t kBitsPerByte = 8;
constexpr uint32_t kStuffRun = 4;  // a worst case stuff bit for every 4 bits after the first
constexpr double kMicrosPerSecond = 1e6;

std::string FormatRow(const char* kind, uint64_t frames, double perSecond, double share,
                      double worstShare) {
  char row[160];
  std::snprintf(row, sizeof row, "  %-26s %9llu %10.1f %8.2f %% %8.2f %%\n", kind,
                static_cast<unsigned long long>(frames), perSecond, share * 100.0,
                worstShare * 100.0);
  return row;
}

double Share(uint64_t bits, uint64_t durationUs) {
  if (durationUs == 0) return 0.0;
  const double capacity =
      static_cast<double>(kBusBitRate) * (static_cast<double>(durationUs) / kMicrosPerSecond);
  return static_cast<double>(bits) / capacity;
}

}  // namespace

FrameBits FrameBitLength(const TraceFrame& frame) {
  const uint32_t length = frame.length > kMaxDataLength ? kMaxDataLength : frame.length;
  const uint32_t dataBits = frame.remote ? 0 : length * kBitsPerByte;
  const uint32_t overhead = frame.extended ? kExtendedOverheadBits : kStandardOverheadBits;
  const uint32_t region =
      (frame.extended ? kExtendedStuffRegionBits : kStandardStuffRegionBits) + dataBits;
  FrameBits bits;
  bits.plain = overhead + dataBits;
  bits.worstStuffed = bits.plain + (region - 1) / kStuffRun;
  return bits;
}

double BusSummary::FramesPerSecond(uint64_t count) const {
  if (durationUs == 0) return 0.0;
  return static_cast<double>(count) / (static_cast<double>(durationUs) / kMicrosPerSecond);
}
double BusSummary::Utilisation() const { return Share(bits, durationUs); }
double BusSummary::WorstCaseUtilisation() const { return Share(stuffedBits, durationUs); }

void BusStatsBuilder::Add(const TraceFrame& frame, const std::string& kind) {
  auto it = std::find_if(kinds_.begin(), kinds_.end(),
                         [&](const KindStats& k) { return k.kind == kind; });
  if (it == kinds_.end()) it = kinds_.insert(kinds_.end(), KindStats{kind, 0, 0, 0});
  const FrameBits bits = FrameBitLength(frame);
  ++it->frames;
  it->bits += bits.plain;
  it->stuffedBits += bits.worstStuffed;
  if (frames_ == 0 || frame.timestampUs < firstUs_) firstUs_ = frame.timestampUs;
  if (frames_ == 0 || frame.timestampUs > lastUs_) lastUs_ = frame.timestampUs;
  ++frames_;
}

uint64_t BusStatsBuilder::SpanUs() const { return frames_ < 2 ? 0 : lastUs_ - firstUs_; }

BusSummary BusStatsBuilder::Finish(uint64_t durationUs) const {
  BusSummary summary;
  summary.durationUs = durationUs != 0 ? durationUs : SpanUs();
  summary.kinds = kinds_;
  std::sort(summary.kinds.begin(), summary.kinds.end(), [](const KindStats& a, const KindStats& b) {
    return a.frames != b.frames ? a.frames > b.frames : a.kind < b.kind;
  });
  for (const KindStats& k : summary.kinds) {
    summary.frames += k.frames;
    summary.bits += k.bits;
    summary.stuffedBits += k.stuffedBits;
  }
  return summary;
}

std::string FormatBusSummary(const BusSummary& summary) {
  char line[200];
  std::snprintf(line, sizeof line, "Bus summary: %llu frames in %.6f s on a %.0f Mbit/s bus\n",
                static_cast<unsigned long long>(summary.frames),
                static_cast<double>(summary.durationUs) / kMicrosPerSecond,
                static_cast<double>(kBusBitRate) / kMicrosPerSecond);
  std::string text = line;
  std::snprintf(line, sizeof line, "  %-26s %9s %10s %10s %10s\n", "frame kind", "frames",
                "frames/s", "load", "stuffed");
  text += line;
  for (const KindStats& k : summary.kinds) {
    text += FormatRow(k.kind.c_str(), k.frames, summary.FramesPerSecond(k.frames),
                      Share(k.bits, summary.durationUs), Share(k.stuffedBits, summary.durationUs));
  }
  text += FormatRow("total", summary.frames, summary.FramesPerSecond(summary.frames),
                    summary.Utilisation(), summary.WorstCaseUtilisation());
  std::snprintf(line, sizeof line,
                "Bus utilisation at 1 Mbit/s: %.2f %% without stuff bits, %.2f %% with "
                "worst-case stuffing\n",
                summary.Utilisation() * 100.0, summary.WorstCaseUtilisation() * 100.0);
  text += line;
  if (summary.durationUs == 0) text += "  (no time elapsed: rates and load are not defined)\n";
  if (summary.skipped.total() != 0) {
    std::snprintf(line, sizeof line,
                  "Skipped (not in the figures): %llu error frames, %llu CAN FD frames\n",
                  static_cast<unsigned long long>(summary.skipped.errorFrames),
                  static_cast<unsigned long long>(summary.skipped.fdFrames));
    text += line;
  }
  return text;
}

}  // namespace tavrix::trace
