// Command line options of tavrix-demo.
#pragma once

#include <cstdint>
#include <string>

namespace tavrix::demo {

struct DemoOptions {
  double durationS = 6.0;     // simulated run length of the scenario
  bool realtime = false;      // let the clock run in real time instead of stepping it
  uint32_t intervalMs = 250;  // telemetry table interval
  std::string logPath = "tavrix-demo.log";
  std::string pcapPath = "tavrix-demo.pcap";
};

enum class ParseOutcome { kRun, kHelp, kError };

// Fills options from the arguments; kError comes with a message.
ParseOutcome ParseDemoOptions(int argc, const char* const* argv, DemoOptions& options,
                              std::string& error);

const char* DemoUsage();

}  // namespace tavrix::demo
