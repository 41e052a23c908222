// Writing and reading pcap files of SocketCAN frames. Every field read from the
// file is checked against the bytes that remain before it is used.
#include "tavrix/trace/PcapFile.h"

#include <cstring>

namespace tavrix::trace {
namespace {

constexpr uint16_t kVersionMajor = 2;
constexpr uint16_t kVersionMinor = 4;
constexpr uint32_t kSnapLength = 65535;
constexpr uint32_t kMaxSeconds = 0xFFFFFFFFu;
constexpr uint32_t kMicrosPerSecond = 1000000u;
constexpr uint32_t kNanosPerSecond = 1000000000u;
constexpr uint32_t kNanosPerMicro = 1000u;
// can_id, length, three reserved bytes: what must be there before the data.
constexpr uint32_t kSocketCanHeadSize = 8;
constexpr uint8_t kCanFdFlag = 0x04;  // CANFD_FDF in the flags byte after the length
constexpr size_t kFlagsOffset = 5;

uint32_t ByteSwap32(uint32_t v) {
  return ((v & 0xFFu) << 24) | ((v & 0xFF00u) << 8) | ((v >> 8) & 0xFF00u) | (v >> 24);
}
uint32_t LoadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint32_t LoadBe32(const uint8_t* p) { return ByteSwap32(LoadLe32(p)); }

void AppendLe16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void AppendLe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void AppendGlobalHeader(std::vector<uint8_t>& out) {
  AppendLe32(out, kPcapMagicMicros);
  AppendLe16(out, kVersionMajor);
  AppendLe16(out, kVersionMinor);
  AppendLe32(out, 0);  // time zone offset
  AppendLe32(out, 0);  // timestamp accuracy
  AppendLe32(out, kSnapLength);
  AppendLe32(out, kLinkTypeCanSocketCan);
}

// How the file was written, learnt from its magic number.
struct Layout {
  bool swapped = false;  // written on a machine of the other byte order
  bool nanos = false;
  uint32_t Field(const uint8_t* p) const {
    const uint32_t v = LoadLe32(p);
    return swapped ? ByteSwap32(v) : v;
  }
};

bool LayoutFromMagic(uint32_t magic, Layout& layout) {
  if (magic == kPcapMagicMicros || magic == kPcapMagicNanos) {
    layout = Layout{false, magic == kPcapMagicNanos};
    return true;
  }
  if (magic == ByteSwap32(kPcapMagicMicros) || magic == ByteSwap32(kPcapMagicNanos)) {
    layout = Layout{true, magic == ByteSwap32(kPcapMagicNanos)};
    return true;
  }
  return false;
}

void AddError(ReadResult& result, size_t offset, std::string message) {
  result.errors.push_back(ReadError{static_cast<uint64_t>(offset), std::move(message)});
}

enum class RecordKind { kFrame, kErrorFrame, kFdFrame };

// What a record holds, told by the error flag of its id and the FD flag.
RecordKind KindOfRecord(const uint8_t* p) {
  if ((LoadBe32(p) & kCanErrFlag) != 0) return RecordKind::kErrorFrame;
  return (p[kFlagsOffset] & kCanFdFlag) != 0 ? RecordKind::kFdFrame : RecordKind::kFrame;
}

// Decodes the classic CAN frame of one record; false (with a message) when the
// record is damaged.
bool DecodeSocketCanFrame(const uint8_t* p, uint32_t size, TraceFrame& frame, std::string& error) {
  const uint32_t canId = LoadBe32(p);
  const uint8_t length = p[4];
  if (length > kMaxDataLength) {
    error = "data length above 8 without the CAN FD flag";
    return false;
  }
  frame.extended = (canId & kCanEffFlag) != 0;
  frame.remote = (canId & kCanRtrFlag) != 0;
  frame.id = canId & (frame.extended ? kExtendedIdMask : kStandardIdMask);
  frame.length = length;
  if (!frame.remote && kSocketCanHeadSize + length > size) {
    error = "record shorter than its data length";
    return false;
  }
  if (!frame.remote) std::memcpy(frame.data.data(), p + kSocketCanHeadSize, length);
  return true;
}

}  // namespace

void EncodeSocketCanFrame(const TraceFrame& frame, uint8_t out[kSocketCanFrameSize]) {
  uint32_t canId = frame.id & (frame.extended ? kExtendedIdMask : kStandardIdMask);
  if (frame.extended) canId |= kCanEffFlag;
  if (frame.remote) canId |= kCanRtrFlag;
  std::memset(out, 0, kSocketCanFrameSize);
  out[0] = static_cast<uint8_t>(canId >> 24);
  out[1] = static_cast<uint8_t>(canId >> 16);
  out[2] = static_cast<uint8_t>(canId >> 8);
  out[3] = static_cast<uint8_t>(canId);
  const uint8_t length = frame.length > kMaxDataLength ? kMaxDataLength : frame.length;
  out[4] = length;
  if (!frame.remote) std::memcpy(out + kSocketCanHeadSize, frame.data.data(), length);
}

bool EncodePcap(const std::vector<TraceFrame>& frames, std::vector<uint8_t>& out,
                std::string* error) {
  out.clear();
  out.reserve(kPcapGlobalHeaderSize +
              frames.size() * (kPcapRecordHeaderSize + kSocketCanFrameSize));
  AppendGlobalHeader(out);
  for (const TraceFrame& frame : frames) {
    const uint64_t seconds = frame.timestampUs / kMicrosPerSecond;
    if (seconds > kMaxSeconds) {
      if (error != nullptr) *error = "timestamp beyond the 32-bit seconds of the pcap format";
      out.clear();
      return false;
    }
    AppendLe32(out, static_cast<uint32_t>(seconds));
    AppendLe32(out, static_cast<uint32_t>(frame.timestampUs % kMicrosPerSecond));
    AppendLe32(out, static_cast<uint32_t>(kSocketCanFrameSize));
    AppendLe32(out, static_cast<uint32_t>(kSocketCanFrameSize));
    uint8_t body[kSocketCanFrameSize];
    EncodeSocketCanFrame(frame, body);
    out.insert(out.end(), body, body + kSocketCanFrameSize);
  }
  return true;
}

bool LooksLikePcap(const uint8_t* data, size_t size) {
  Layout layout;
  return data != nullptr && size >= 4 && LayoutFromMagic(LoadLe32(data), layout);
}

ReadResult DecodePcap(const uint8_t* data, size_t size) {
  ReadResult result;
  Layout layout;
  if (data == nullptr || size < kPcapGlobalHeaderSize) {
    AddError(result, 0, "file shorter than the 24-byte pcap header");
    return result;
  }
  if (!LayoutFromMagic(LoadLe32(data), layout)) {
    AddError(result, 0, "not a pcap file (unknown magic number)");
    return result;
  }
  const uint32_t linkType = layout.Field(data + 20);
  if (linkType != kLinkTypeCanSocketCan) {
    AddError(result, 20, "link type " + std::to_string(linkType) + " is not SocketCAN (227)");
    return result;
  }
  const uint32_t subsecondLimit = layout.nanos ? kNanosPerSecond : kMicrosPerSecond;
  size_t offset = kPcapGlobalHeaderSize;
  while (offset < size) {
    if (size - offset < kPcapRecordHeaderSize) {
      AddError(result, offset, "truncated record header");
      break;
    }
    const uint8_t* header = data + offset;
    const uint32_t seconds = layout.Field(header);
    const uint32_t subseconds = layout.Field(header + 4);
    const uint32_t captured = layout.Field(header + 8);
    if (captured > kSnapLength) {
      AddError(result, offset, "record length " + std::to_string(captured) + " is impossible");
      break;
    }
    if (size - offset - kPcapRecordHeaderSize < captured) {
      AddError(result, offset, "truncated record");
      break;
    }
    const size_t recordOffset = offset;
    const uint8_t* body = header + kPcapRecordHeaderSize;
    offset += kPcapRecordHeaderSize + captured;
    if (subseconds >= subsecondLimit) {
      AddError(result, recordOffset, "sub-second timestamp field out of range");
      continue;
    }
    if (captured < kSocketCanHeadSize) {
      AddError(result, recordOffset, "record too short for a SocketCAN frame");
      continue;
    }
    const RecordKind kind = KindOfRecord(body);
    if (kind != RecordKind::kFrame) {
      ++(kind == RecordKind::kErrorFrame ? result.skipped.errorFrames : result.skipped.fdFrames);
      continue;
    }
    TraceFrame frame;
    std::string error;
    if (!DecodeSocketCanFrame(body, captured, frame, error)) {
      AddError(result, recordOffset, error);
      continue;
    }
    const uint64_t micros = layout.nanos ? subseconds / kNanosPerMicro : subseconds;
    frame.timestampUs = static_cast<uint64_t>(seconds) * kMicrosPerSecond + micros;
    result.frames.push_back(frame);
  }
  return result;
}

}  // namespace tavrix::trace
