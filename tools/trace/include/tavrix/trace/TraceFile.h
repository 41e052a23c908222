// Reading and writing trace files by name: the format of an input is told by
// its content (the pcap magic number, or text that starts like a candump line),
// never by its file name.
// No shared state: callable from any thread at once. The file and stream
// calls block on the file system for as long as it takes; failures are false
// with a message (or ReadResult::errors), nothing throws.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "tavrix/trace/TraceFrame.h"

namespace tavrix::trace {

enum class TraceFormat { kCandump, kPcap, kPcapNg, kUnknown };

// Empty input and whitespace count as an (empty) candump log.
TraceFormat DetectFormat(const std::vector<uint8_t>& bytes);
const char* FormatName(TraceFormat format);

// Reads frames from file content of any supported format; an unsupported format
// gives one error that says what the content looks like.
ReadResult ReadTrace(const std::vector<uint8_t>& bytes);

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);
// Reads a whole stream (standard input, for instance); false on a read error.
bool ReadStreamBytes(std::istream& in, std::vector<uint8_t>& bytes);
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

// Writes the frames as a candump log or as a pcap file.
bool WriteCandumpFile(const std::string& path, const std::vector<TraceFrame>& frames,
                      std::string& error);
bool WritePcapFile(const std::string& path, const std::vector<TraceFrame>& frames,
                   std::string& error);

}  // namespace tavrix::trace
