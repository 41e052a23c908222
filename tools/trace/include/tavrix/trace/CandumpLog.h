// Candump log files, the text format of the Linux can-utils:
//   (seconds.micros) can0 ID#DATA
// one frame a line; extended ids as 8 uppercase hex digits, standard ids as 3,
// data as uppercase hex bytes, remote requests as ID#R (with the requested
// length as one digit when it is not 0). That is what the writer here writes.
//
// The reader also takes every other form the can-utils write or accept:
//   ID#DATA R, ID#R T     the direction field of candump -x (space, R or T)
//   ID#11.22.33           dots between bytes
//   ID#1122334455667788_C the raw data length code 9..F of an 8-byte frame
//   2xxxxxxx#DATA         an error frame (error flag 0x20000000 in the id)
//   ID##FDATA             a CAN FD frame (flags digit F, up to 64 bytes)
// Error frames and CAN FD frames are checked and counted, not returned.
// No shared state: callable from any thread at once. Allocates the strings
// and frame lists it returns; failures are reported in the results (kError
// lines, ReadResult::errors), nothing throws.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tavrix/trace/TraceFrame.h"

namespace tavrix::trace {

constexpr std::string_view kDefaultInterface = "can0";

// True for a name that can stand in a log line: 1 to 15 printable characters
// without spaces (the kernel's limit for interface names).
bool IsValidInterfaceName(std::string_view name);

// One log line without the newline. The id is written masked to its width and
// at most 8 data bytes are written; an invalid interface name is written as can0.
std::string FormatCandumpLine(const TraceFrame& frame,
                              std::string_view interfaceName = kDefaultInterface);
// Every frame, one line each, each line ending in a newline.
std::string FormatCandumpLog(const std::vector<TraceFrame>& frames,
                             std::string_view interfaceName = kDefaultInterface);

struct CandumpLine {
  enum class Kind { kFrame, kBlank, kError, kErrorFrame, kFdFrame };
  Kind kind = Kind::kBlank;
  TraceFrame frame;           // valid for kFrame
  std::string error;          // valid for kError
  std::string interfaceName;  // valid for kFrame
};

// Parses one line (without its newline; a trailing carriage return is allowed).
// Whitespace-only lines are kBlank; well-formed error and CAN FD frames are
// kErrorFrame and kFdFrame (no frame content kept). Anything else that is not
// a frame in one of the forms above is kError with a message.
CandumpLine ParseCandumpLine(std::string_view line);

// Parses a whole log; every bad line gives one error with its line number and
// the other lines are still read. Error and CAN FD frames are counted in `skipped`.
ReadResult ParseCandumpLog(std::string_view text);

}  // namespace tavrix::trace
