// Fuzzes the trace readers of the decoder tool (candump logs and pcap files,
// told apart by content as the tool does) and then the decoder itself on
// whatever frames were read. Every frame read must survive writing it back
// out in both formats and reading it again unchanged.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tavrix/decode/DecodeTool.h"
#include "tavrix/trace/CandumpLog.h"
#include "tavrix/trace/PcapFile.h"
#include "tavrix/trace/TraceFile.h"

namespace {

namespace trace = tavrix::trace;

void Check(bool ok) {
  if (!ok) std::abort();
}

// A remote request carries no data on the wire, so its data bytes do not count.
bool SameOnTheWire(const trace::TraceFrame& a, const trace::TraceFrame& b) {
  if (a.remote && b.remote) {
    return a.timestampUs == b.timestampUs && a.id == b.id && a.extended == b.extended &&
           a.length == b.length;
  }
  return a == b;
}

bool SameFrames(const std::vector<trace::TraceFrame>& a, const std::vector<trace::TraceFrame>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (!SameOnTheWire(a[i], b[i])) return false;
  }
  return true;
}

void CheckFramesWellFormed(const std::vector<trace::TraceFrame>& frames) {
  for (const trace::TraceFrame& f : frames) {
    Check(f.length <= trace::kMaxDataLength);
    Check(f.id <= (f.extended ? trace::kExtendedIdMask : trace::kStandardIdMask));
  }
}

void CheckCandumpRoundTrip(const std::vector<trace::TraceFrame>& frames) {
  const std::string text = trace::FormatCandumpLog(frames);
  const trace::ReadResult again = trace::ParseCandumpLog(text);
  Check(again.ok() && SameFrames(frames, again.frames));
}

void CheckPcapRoundTrip(const std::vector<trace::TraceFrame>& frames) {
  std::vector<uint8_t> bytes;
  if (!trace::EncodePcap(frames, bytes)) return;  // a timestamp the format cannot hold
  const trace::ReadResult again = trace::ReadTrace(bytes);
  Check(again.ok() && SameFrames(frames, again.frames));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  const trace::ReadResult result = trace::ReadTrace(bytes);
  CheckFramesWellFormed(result.frames);
  CheckCandumpRoundTrip(result.frames);
  CheckPcapRoundTrip(result.frames);
  tavrix::decode::RenderFrames(result.frames);
  const trace::BusSummary summary = tavrix::decode::SummariseTrace(result.frames);
  Check(summary.frames == result.frames.size());
  trace::FormatBusSummary(summary);
  return 0;
}
