// Writing and reading candump log lines. The reader is written for untrusted
// input: every character is checked, every number is bounded before it is
// scaled, and a bad line gives a message, never a crash.
#include "tavrix/trace/CandumpLog.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>

namespace tavrix::trace {
namespace {

constexpr size_t kMaxInterfaceNameLength = 15;
constexpr size_t kStandardIdDigits = 3;
constexpr size_t kExtendedIdDigits = 8;
constexpr size_t kMaxFdDataLength = 64;
// A classic frame of 8 bytes may carry its raw data length code 9..15 as "_X".
constexpr uint32_t kMinRawDlc = 9;
// Seconds with more digits could overflow once scaled to microseconds.
constexpr size_t kMaxSecondsDigits = 12;
constexpr size_t kMaxFractionDigits = 9;
constexpr int kMicrosDigits = 6;
constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<uint32_t> HexValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<uint32_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<uint32_t>(c - 'a' + 10);
  return std::nullopt;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// A cursor over one line; each Take* consumes what it recognised.
class LineReader {
 public:
  explicit LineReader(std::string_view line) : rest_(line) {}

  bool AtEnd() const { return rest_.empty(); }
  char Peek() const { return rest_.empty() ? '\0' : rest_.front(); }
  bool Take(char c) {
    if (rest_.empty() || rest_.front() != c) return false;
    rest_.remove_prefix(1);
    return true;
  }
  std::string_view TakeWhile(bool (*pred)(char)) {
    size_t n = 0;
    while (n < rest_.size() && pred(rest_[n])) ++n;
    std::string_view taken = rest_.substr(0, n);
    rest_.remove_prefix(n);
    return taken;
  }
  size_t SkipSpaces() { return TakeWhile(IsSpace).size(); }
  std::string_view Rest() const { return rest_; }

 private:
  std::string_view rest_;
};

bool IsTokenChar(char c) { return c > ' ' && c < 0x7F; }
bool IsHexChar(char c) { return HexValue(c).has_value(); }

uint64_t DecimalValue(std::string_view digits) {
  uint64_t v = 0;
  for (char c : digits) v = v * 10 + static_cast<uint64_t>(c - '0');
  return v;
}

// "(seconds.fraction)" to microseconds; fractions finer than a microsecond are cut.
std::optional<uint64_t> ParseTimestamp(LineReader& in, std::string& error) {
  if (!in.Take('(')) {
    error = "expected '(' and a timestamp";
    return std::nullopt;
  }
  const std::string_view seconds = in.TakeWhile(IsDigit);
  if (seconds.empty() || !in.Take('.')) {
    error = "timestamp must be seconds.micros";
    return std::nullopt;
  }
  const std::string_view fraction = in.TakeWhile(IsDigit);
  if (fraction.empty() || !in.Take(')')) {
    error = "timestamp must be seconds.micros followed by ')'";
    return std::nullopt;
  }
  if (seconds.size() > kMaxSecondsDigits || fraction.size() > kMaxFractionDigits) {
    error = "timestamp out of range";
    return std::nullopt;
  }
  uint64_t micros = 0;
  for (int i = 0; i < kMicrosDigits; ++i) {
    const size_t index = static_cast<size_t>(i);
    const uint64_t digit =
        index < fraction.size() ? static_cast<uint64_t>(fraction[index] - '0') : 0u;
    micros = micros * 10 + digit;
  }
  return DecimalValue(seconds) * 1000000u + micros;
}

enum class IdKind { kFrame, kErrorFrame };

// 3 digits: a standard id; 8 digits: an extended id, or an error frame when the
// error flag is set (candump writes those ids with the flag and no other).
bool ParseId(std::string_view digits, TraceFrame& frame, IdKind& kind, std::string& error) {
  if (digits.size() != kStandardIdDigits && digits.size() != kExtendedIdDigits) {
    error = "CAN id must have 3 (standard) or 8 (extended) hex digits";
    return false;
  }
  uint32_t id = 0;
  for (char c : digits) id = (id << 4) | *HexValue(c);
  frame.extended = digits.size() == kExtendedIdDigits;
  kind = frame.extended && (id & ~kExtendedIdMask) == kCanErrFlag ? IdKind::kErrorFrame
                                                                  : IdKind::kFrame;
  const uint32_t limit = frame.extended ? kExtendedIdMask : kStandardIdMask;
  if (kind == IdKind::kFrame && id > limit) {
    error = frame.extended ? "extended CAN id above 0x1FFFFFFF (and not an error frame)"
                           : "standard CAN id above 0x7FF";
    return false;
  }
  frame.id = id & limit;
  return true;
}

// An optional raw data length code 9..15 after a full 8 bytes.
bool ParseRawDlc(LineReader& in, std::string& error) {
  const std::optional<uint32_t> dlc = HexValue(in.Peek());
  if (!dlc || *dlc < kMinRawDlc) {
    error = "raw data length code must be one hex digit 9 to F";
    return false;
  }
  in.Take(in.Peek());
  return true;
}

bool ParseRemote(LineReader& in, TraceFrame& frame, std::string& error) {
  frame.remote = true;
  const std::string_view length = in.TakeWhile(IsDigit);
  if (length.size() > 1 || (length.size() == 1 && length[0] > '8')) {
    error = "remote request length must be one digit 0 to 8";
    return false;
  }
  frame.length = length.empty() ? 0 : static_cast<uint8_t>(length[0] - '0');
  if (frame.length == kMaxDataLength && HexValue(in.Peek())) return ParseRawDlc(in, error);
  return true;
}

// Hex bytes, optionally separated by dots ("11.22.33"), at most `capacity`.
bool ParseBytes(LineReader& in, uint8_t* out, size_t capacity, size_t& count, std::string& error) {
  count = 0;
  while (IsHexChar(in.Peek())) {
    const std::string_view hex = in.TakeWhile(IsHexChar);
    if (hex.size() % 2 != 0) {
      error = "data must be whole bytes (an even number of hex digits)";
      return false;
    }
    if (hex.size() / 2 > capacity - count) {
      error = "more than " + std::to_string(capacity) + " data bytes";
      return false;
    }
    for (size_t i = 0; i < hex.size(); i += 2) {
      out[count++] = static_cast<uint8_t>((*HexValue(hex[i]) << 4) | *HexValue(hex[i + 1]));
    }
    if (!in.Take('.')) break;
  }
  return true;
}

bool ParseData(LineReader& in, TraceFrame& frame, std::string& error) {
  size_t count = 0;
  if (!ParseBytes(in, frame.data.data(), frame.data.size(), count, error)) return false;
  frame.length = static_cast<uint8_t>(count);
  if (count == frame.data.size() && in.Take('_')) return ParseRawDlc(in, error);
  return true;
}

bool IsFdLength(size_t n) {
  return n <= 8 || n == 12 || n == 16 || n == 20 || n == 24 || n == 32 || n == 48 || n == 64;
}

// A CAN FD frame after "##": one hex digit of flags, then up to 64 bytes of a
// length that FD allows. Checked, then only counted.
bool ParseFdFrame(LineReader& in, std::string& error) {
  if (!IsHexChar(in.Peek())) {
    error = "CAN FD frame needs a flags digit after '##'";
    return false;
  }
  in.Take(in.Peek());
  std::array<uint8_t, kMaxFdDataLength> data{};
  size_t count = 0;
  if (!ParseBytes(in, data.data(), data.size(), count, error)) return false;
  if (!IsFdLength(count)) {
    error = "CAN FD data length " + std::to_string(count) + " is not one FD allows";
    return false;
  }
  return true;
}

// What candump writes after the frame with -x: a space and R (received) or T (sent).
bool ParseDirection(LineReader& in, std::string& error) {
  if (in.AtEnd()) return true;
  if (in.SkipSpaces() == 0 || !(in.Take('R') || in.Take('T')) || !in.AtEnd()) {
    error = "unexpected text after the frame";
    return false;
  }
  return true;
}

CandumpLine Kind(CandumpLine::Kind kind) {
  CandumpLine result;
  result.kind = kind;
  return result;
}

CandumpLine Error(std::string message) {
  CandumpLine result;
  result.kind = CandumpLine::Kind::kError;
  result.error = std::move(message);
  return result;
}

void AppendHexByte(std::string& out, uint8_t byte) {
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0x0F];
}

}  // namespace

bool IsValidInterfaceName(std::string_view name) {
  if (name.empty() || name.size() > kMaxInterfaceNameLength) return false;
  return std::all_of(name.begin(), name.end(), IsTokenChar);
}

std::string FormatCandumpLine(const TraceFrame& frame, std::string_view interfaceName) {
  const std::string_view iface =
      IsValidInterfaceName(interfaceName) ? interfaceName : kDefaultInterface;
  char head[48];
  std::snprintf(head, sizeof head, "(%llu.%06llu) ",
                static_cast<unsigned long long>(frame.timestampUs / 1000000u),
                static_cast<unsigned long long>(frame.timestampUs % 1000000u));
  std::string line = head;
  line += iface;
  char id[16];
  if (frame.extended) {
    std::snprintf(id, sizeof id, " %08X#", static_cast<unsigned>(frame.id & kExtendedIdMask));
  } else {
    std::snprintf(id, sizeof id, " %03X#", static_cast<unsigned>(frame.id & kStandardIdMask));
  }
  line += id;
  const uint8_t length = frame.length > kMaxDataLength ? kMaxDataLength : frame.length;
  if (frame.remote) {
    line += 'R';
    if (length > 0) line += static_cast<char>('0' + length);
    return line;
  }
  for (size_t i = 0; i < length; ++i) AppendHexByte(line, frame.data[i]);
  return line;
}

std::string FormatCandumpLog(const std::vector<TraceFrame>& frames,
                             std::string_view interfaceName) {
  std::string text;
  text.reserve(frames.size() * 48);
  for (const TraceFrame& frame : frames) {
    text += FormatCandumpLine(frame, interfaceName);
    text += '\n';
  }
  return text;
}

CandumpLine ParseCandumpLine(std::string_view line) {
  LineReader in(TrimRight(line));
  in.SkipSpaces();
  if (in.AtEnd()) return CandumpLine{};

  std::string error;
  CandumpLine result;
  const std::optional<uint64_t> timestamp = ParseTimestamp(in, error);
  if (!timestamp) return Error(error);
  result.frame.timestampUs = *timestamp;

  if (in.SkipSpaces() == 0) return Error("expected a space after the timestamp");
  const std::string_view iface = in.TakeWhile(IsTokenChar);
  if (!IsValidInterfaceName(iface)) return Error("interface name must be 1 to 15 characters");
  result.interfaceName = std::string(iface);
  if (in.SkipSpaces() == 0) return Error("expected a space after the interface name");

  IdKind idKind = IdKind::kFrame;
  if (!ParseId(in.TakeWhile(IsHexChar), result.frame, idKind, error)) return Error(error);
  if (!in.Take('#')) return Error("expected '#' after the CAN id");
  if (in.Take('#')) {
    if (!ParseFdFrame(in, error) || !ParseDirection(in, error)) return Error(error);
    return Kind(CandumpLine::Kind::kFdFrame);
  }
  const bool remote = idKind == IdKind::kFrame && in.Take('R');
  const bool ok =
      remote ? ParseRemote(in, result.frame, error) : ParseData(in, result.frame, error);
  if (!ok || !ParseDirection(in, error)) return Error(error);
  if (idKind == IdKind::kErrorFrame) return Kind(CandumpLine::Kind::kErrorFrame);
  result.kind = CandumpLine::Kind::kFrame;
  return result;
}

ReadResult ParseCandumpLog(std::string_view text) {
  ReadResult result;
  uint64_t lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    const size_t newline = text.find('\n');
    const std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    CandumpLine parsed = ParseCandumpLine(line);
    switch (parsed.kind) {
      case CandumpLine::Kind::kFrame: result.frames.push_back(parsed.frame); break;
      case CandumpLine::Kind::kError:
        result.errors.push_back(ReadError{lineNumber, std::move(parsed.error)});
        break;
      case CandumpLine::Kind::kErrorFrame: ++result.skipped.errorFrames; break;
      case CandumpLine::Kind::kFdFrame: ++result.skipped.fdFrames; break;
      case CandumpLine::Kind::kBlank: break;
    }
  }
  return result;
}

}  // namespace tavrix::trace
