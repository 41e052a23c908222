// Parsing of tavrix-demo's options; every value is range-checked.
#include "DemoOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace tavrix::demo {
namespace {

constexpr double kMinDurationS = 1.0;
constexpr double kMaxDurationS = 600.0;
constexpr long kMinIntervalMs = 10;
constexpr long kMaxIntervalMs = 60000;

constexpr const char* kUsage =
    "Usage: tavrix-demo [options]\n"
    "\n"
    "A short robot program on the simulated platform: two controllers on the\n"
    "simulated CAN bus, one following the other; the robot is enabled, the leader\n"
    "ramps its duty cycle, moves to a position with PID gains on slot 1, runs\n"
    "inverted, hits its forward limit switch, a parameter is written and read\n"
    "back, and the robot is disabled. It prints the firmware strings, a telemetry\n"
    "table, each step and the bus summary, and writes the whole bus trace as a\n"
    "candump log and a pcap file.\n"
    "\n"
    "Options:\n"
    "  --duration SECONDS  simulated run length, 1 to 600 (default 6)\n"
    "  --interval MS       telemetry table interval, 10 to 60000 (default 250)\n"
    "  --realtime          let the simulated clock run in real time\n"
    "  --stepped           step the clock as fast as possible (the default)\n"
    "  --log FILE          candump log to write (default tavrix-demo.log)\n"
    "  --pcap FILE         pcap file to write (default tavrix-demo.pcap)\n"
    "  --help              show this text\n"
    "\n"
    "Open the trace with:  tavrix-decode --stats tavrix-demo.log\n"
    "                      tshark -r tavrix-demo.pcap\n";

bool ParseDouble(const char* text, double low, double high, double& value) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !std::isfinite(v) || v < low || v > high) {
    return false;
  }
  value = v;
  return true;
}

bool ParseLong(const char* text, long low, long high, long& value) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return false;
  value = v;
  return true;
}

}  // namespace

const char* DemoUsage() { return kUsage; }

ParseOutcome ParseDemoOptions(int argc, const char* const* argv, DemoOptions& options,
                              std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i] != nullptr ? argv[i] : "";
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    const bool takesValue =
        arg == "--duration" || arg == "--interval" || arg == "--log" || arg == "--pcap";
    if (takesValue && (value == nullptr || *value == '\0')) {
      error = std::string(arg) + " needs a value";
      return ParseOutcome::kError;
    }
    if (arg == "--help" || arg == "-h") return ParseOutcome::kHelp;
    if (arg == "--realtime") {
      options.realtime = true;
    } else if (arg == "--stepped") {
      options.realtime = false;
    } else if (arg == "--duration") {
      if (!ParseDouble(value, kMinDurationS, kMaxDurationS, options.durationS)) {
        error = "--duration must be a number of seconds from 1 to 600";
        return ParseOutcome::kError;
      }
      ++i;
    } else if (arg == "--interval") {
      long ms = 0;
      if (!ParseLong(value, kMinIntervalMs, kMaxIntervalMs, ms)) {
        error = "--interval must be a whole number of milliseconds from 10 to 60000";
        return ParseOutcome::kError;
      }
      options.intervalMs = static_cast<uint32_t>(ms);
      ++i;
    } else if (arg == "--log") {
      options.logPath = value;
      ++i;
    } else if (arg == "--pcap") {
      options.pcapPath = value;
      ++i;
    } else {
      error = "unknown argument " + std::string(arg);
      return ParseOutcome::kError;
    }
  }
  return ParseOutcome::kRun;
}

}  // namespace tavrix::demo
