// The trace decoder as a library: what `tavrix-decode` prints, callable from
// tests and from other programs (the demo prints its bus summary with it).
// Each call uses a decoder of its own: callable from any thread at once with
// different streams (input "-" is standard input). Allocates; the tool reads
// files and so blocks on the file system. Failures are its exit status and
// messages on `err`; nothing throws.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "tavrix/trace/BusStats.h"
#include "tavrix/trace/TraceFrame.h"

namespace tavrix::decode {

// The bus summary with the catalogue's frame kinds. durationUs 0: from the
// first to the last frame.
trace::BusSummary SummariseTrace(const std::vector<trace::TraceFrame>& frames,
                                 uint64_t durationUs = 0);

// One decoded line per frame (each ending in a newline).
std::string RenderFrames(const std::vector<trace::TraceFrame>& frames);

// One row per frame: device, API id (decimal), kind name and fields, separated
// by tabs; device, API id and kind are empty for frames of other devices.
std::string RenderFieldRows(const std::vector<trace::TraceFrame>& frames);

// The command line tool. Exit status: 0 success, 1 an input could not be read
// or held bad records (its good frames are still shown), 2 a usage error.
int RunDecodeTool(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace tavrix::decode
