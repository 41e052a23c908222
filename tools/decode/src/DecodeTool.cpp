// Command line handling of tavrix-decode: read each input, print its frames
// decoded and, on request, the bus summary.
#include "tavrix/decode/DecodeTool.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "tavrix/decode/FrameDecoder.h"
#include "tavrix/trace/TraceFile.h"

namespace tavrix::decode {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitBadInput = 1;
constexpr int kExitUsage = 2;
constexpr double kMicrosPerSecond = 1e6;
// Durations beyond this (about 31 years) are refused rather than overflowing.
constexpr double kMaxDurationSeconds = 1e9;

constexpr const char* kUsage =
    "Usage: tavrix-decode [options] FILE...\n"
    "\n"
    "Prints every CAN frame of a bus trace, named and decoded by the controller's\n"
    "frame catalogue: time, arbitration id, length, bytes, device number, frame\n"
    "kind and fields. Frames of other manufacturers or device types are shown raw.\n"
    "FILE is a candump log ((seconds.micros) can0 ID#DATA, in any form candump\n"
    "writes) or a pcap file with the SocketCAN link type (227); the format is told\n"
    "by the content. '-' reads standard input. Error frames and CAN FD frames are\n"
    "skipped and counted in the summary.\n"
    "\n"
    "Options:\n"
    "  --stats             after the frames, print the bus summary: frames per\n"
    "                      second per frame kind and the utilisation of a 1 Mbit/s\n"
    "                      bus with and without worst-case bit stuffing\n"
    "  --stats-only        print only the bus summary\n"
    "  --tsv               instead of the frame lines, one tab-separated row per\n"
    "                      frame: device, API id, frame kind, fields (the first\n"
    "                      three empty for frames of other devices; the form the\n"
    "                      Wireshark dissector's fields are compared with)\n"
    "  --duration SECONDS  time base of the summary (default: first to last frame)\n"
    "  --help              show this text\n"
    "\n"
    "Exit status: 0 success, 1 unreadable input or bad records (the good frames\n"
    "are still shown, the problems go to standard error), 2 usage error.\n";

struct Options {
  bool frames = true;
  bool stats = false;
  bool tsv = false;
  bool help = false;
  uint64_t durationUs = 0;
  std::vector<std::string> inputs;
};

bool ParseSeconds(const std::string& text, uint64_t& micros) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double seconds = std::strtod(text.c_str(), &end);
  if (errno != 0 || end == nullptr || *end != '\0' || !std::isfinite(seconds) || seconds <= 0.0 ||
      seconds > kMaxDurationSeconds) {
    return false;
  }
  micros = static_cast<uint64_t>(std::llround(seconds * kMicrosPerSecond));
  return micros > 0;
}

// False, with a message, for an unknown option or a missing or bad value.
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i] != nullptr ? argv[i] : "";
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--tsv") {
      options.tsv = true;
    } else if (arg == "--stats") {
      options.stats = true;
    } else if (arg == "--stats-only") {
      options.stats = true;
      options.frames = false;
    } else if (arg == "--duration") {
      if (i + 1 >= argc || argv[i + 1] == nullptr ||
          !ParseSeconds(argv[i + 1], options.durationUs)) {
        error = "--duration needs a positive number of seconds";
        return false;
      }
      ++i;
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + arg;
      return false;
    } else {
      options.inputs.push_back(arg);
    }
  }
  if (!options.help && options.inputs.empty()) {
    error = "no input file";
    return false;
  }
  return true;
}

bool ReadInput(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
  if (path != "-") return trace::ReadFileBytes(path, bytes, error);
  if (trace::ReadStreamBytes(std::cin, bytes)) return true;
  error = "cannot read standard input";
  return false;
}

const char* PlaceLabel(trace::TraceFormat format) {
  return format == trace::TraceFormat::kCandump ? "line" : "offset";
}

// Reads one input and prints its problems; false when it had any.
bool LoadInput(const std::string& path, std::vector<trace::TraceFrame>& frames,
               trace::SkippedFrames& skipped, std::ostream& err) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadInput(path, bytes, error)) {
    err << "tavrix-decode: " << error << '\n';
    return false;
  }
  const trace::TraceFormat format = trace::DetectFormat(bytes);
  trace::ReadResult result = trace::ReadTrace(bytes);
  for (const trace::ReadError& e : result.errors) {
    err << path << ": " << PlaceLabel(format) << ' ' << e.where << ": " << e.message << '\n';
  }
  frames.insert(frames.end(), result.frames.begin(), result.frames.end());
  skipped += result.skipped;
  return result.ok();
}

}  // namespace

trace::BusSummary SummariseTrace(const std::vector<trace::TraceFrame>& frames,
                                 uint64_t durationUs) {
  FrameDecoder decoder;
  trace::BusStatsBuilder stats;
  for (const trace::TraceFrame& frame : frames) {
    stats.Add(frame, FrameKindName(decoder.Decode(frame).kind));
  }
  return stats.Finish(durationUs);
}

std::string RenderFrames(const std::vector<trace::TraceFrame>& frames) {
  FrameDecoder decoder;
  std::string text;
  for (const trace::TraceFrame& frame : frames) {
    text += FormatFrameLine(frame, decoder.Decode(frame));
    text += '\n';
  }
  return text;
}

std::string RenderFieldRows(const std::vector<trace::TraceFrame>& frames) {
  FrameDecoder decoder;
  std::string text;
  for (const trace::TraceFrame& frame : frames) {
    const DecodedFrame decoded = decoder.Decode(frame);
    if (decoded.kind != FrameKind::kOtherDevice) {
      text += std::to_string(decoded.device) + '\t' + std::to_string(decoded.api) + '\t' +
              FrameKindName(decoded.kind);
    } else {
      text += "\t\t";
    }
    text += '\t' + decoded.fields + '\n';
  }
  return text;
}

int RunDecodeTool(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  Options options;
  std::string error;
  if (!ParseOptions(argc, argv, options, error)) {
    err << "tavrix-decode: " << error << "\n\n" << kUsage;
    return kExitUsage;
  }
  if (options.help) {
    out << kUsage;
    return kExitOk;
  }
  int status = kExitOk;
  for (const std::string& path : options.inputs) {
    std::vector<trace::TraceFrame> frames;
    trace::SkippedFrames skipped;
    if (!LoadInput(path, frames, skipped, err)) status = kExitBadInput;
    if (options.inputs.size() > 1) out << "== " << path << '\n';
    if (options.frames) out << (options.tsv ? RenderFieldRows(frames) : RenderFrames(frames));
    if (!options.stats) continue;
    trace::BusSummary summary = SummariseTrace(frames, options.durationUs);
    summary.skipped = skipped;
    out << trace::FormatBusSummary(summary);
  }
  return status;
}

}  // namespace tavrix::decode
