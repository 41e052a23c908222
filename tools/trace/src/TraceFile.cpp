// Trace files on disk: format detection, whole-file reads and writes.
#include "tavrix/trace/TraceFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string_view>

#include "tavrix/trace/CandumpLog.h"
#include "tavrix/trace/PcapFile.h"

namespace tavrix::trace {
namespace {

constexpr uint8_t kPcapNgMagic[4] = {0x0A, 0x0D, 0x0D, 0x0A};

bool IsTextSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// strerror's text without strerror's shared buffer. The C library gives either
// the GNU strerror_r (returns the text) or the POSIX one (fills the buffer,
// returns 0); one of these two overloads takes its result.
[[maybe_unused]] const char* StrerrorText(const char* text, const char* /*buffer*/) { return text; }
[[maybe_unused]] const char* StrerrorText(int result, const char* buffer) {
  return result == 0 ? buffer : "Unknown error";
}

std::string ErrnoText(int code) {
  char buffer[256] = {};
  return StrerrorText(strerror_r(code, buffer, sizeof buffer), buffer);
}

std::string SystemError(const std::string& what, const std::string& path) {
  const int code = errno;  // before anything else can change it
  return what + " " + path + ": " + ErrnoText(code);
}

}  // namespace

TraceFormat DetectFormat(const std::vector<uint8_t>& bytes) {
  if (LooksLikePcap(bytes.data(), bytes.size())) return TraceFormat::kPcap;
  if (bytes.size() >= 4 && std::memcmp(bytes.data(), kPcapNgMagic, 4) == 0) {
    return TraceFormat::kPcapNg;
  }
  for (uint8_t c : bytes) {
    if (IsTextSpace(c)) continue;
    return c == '(' ? TraceFormat::kCandump : TraceFormat::kUnknown;
  }
  return TraceFormat::kCandump;
}

const char* FormatName(TraceFormat format) {
  switch (format) {
    case TraceFormat::kCandump: return "candump log";
    case TraceFormat::kPcap: return "pcap";
    case TraceFormat::kPcapNg: return "pcapng";
    case TraceFormat::kUnknown: break;
  }
  return "unknown";
}

ReadResult ReadTrace(const std::vector<uint8_t>& bytes) {
  switch (DetectFormat(bytes)) {
    case TraceFormat::kPcap: return DecodePcap(bytes.data(), bytes.size());
    case TraceFormat::kCandump:
      return ParseCandumpLog(
          std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    case TraceFormat::kPcapNg: {
      ReadResult result;
      result.errors.push_back(
          ReadError{0, "pcapng is not supported; convert it with: editcap -F pcap in out"});
      return result;
    }
    case TraceFormat::kUnknown: break;
  }
  ReadResult result;
  result.errors.push_back(ReadError{0, "neither a candump log nor a pcap file"});
  return result;
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = SystemError("cannot open", path);
    return false;
  }
  if (!ReadStreamBytes(in, bytes)) {
    error = SystemError("cannot read", path);
    return false;
  }
  return true;
}

bool ReadStreamBytes(std::istream& in, std::vector<uint8_t>& bytes) {
  constexpr size_t kChunk = 65536;
  bytes.clear();
  std::vector<char> chunk(kChunk);
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const auto got = static_cast<size_t>(in.gcount());
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
  }
  return !in.bad();
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    error = SystemError("cannot create", path);
    return false;
  }
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    error = SystemError("cannot write", path);
    return false;
  }
  return true;
}

bool WriteCandumpFile(const std::string& path, const std::vector<TraceFrame>& frames,
                      std::string& error) {
  const std::string text = FormatCandumpLog(frames);
  return WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()), error);
}

bool WritePcapFile(const std::string& path, const std::vector<TraceFrame>& frames,
                   std::string& error) {
  std::vector<uint8_t> bytes;
  if (!EncodePcap(frames, bytes, &error)) return false;
  return WriteFileBytes(path, bytes, error);
}

}  // namespace tavrix::trace
