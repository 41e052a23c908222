// Pcap capture files of CAN frames with the SocketCAN link type (227), the
// format that Wireshark, tshark and tcpdump read. Each record holds the 16-byte
// SocketCAN frame: can_id in network byte order (flag 0x80000000 for extended
// ids, 0x40000000 for remote requests), the data length, three reserved bytes
// and eight data bytes.
// No shared state: callable from any thread at once. Encoding and decoding
// allocate the buffers they fill; failures are false with a message or
// ReadResult::errors, nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tavrix/trace/TraceFrame.h"

namespace tavrix::trace {

constexpr uint32_t kLinkTypeCanSocketCan = 227;
constexpr uint32_t kPcapMagicMicros = 0xA1B2C3D4u;
constexpr uint32_t kPcapMagicNanos = 0xA1B23C4Du;
constexpr size_t kPcapGlobalHeaderSize = 24;
constexpr size_t kPcapRecordHeaderSize = 16;
constexpr size_t kSocketCanFrameSize = 16;

// A whole pcap file (little-endian, microsecond timestamps). Fails, with a
// message, only for a timestamp beyond the 32-bit seconds field of the format.
bool EncodePcap(const std::vector<TraceFrame>& frames, std::vector<uint8_t>& out,
                std::string* error = nullptr);

// One 16-byte SocketCAN frame, as it stands in a record.
void EncodeSocketCanFrame(const TraceFrame& frame, uint8_t out[kSocketCanFrameSize]);

// Reads a pcap file of either byte order with micro- or nanosecond timestamps.
// The link type must be 227. Damaged input gives errors with byte offsets:
// a truncated record or an impossible length ends the reading (the frames read
// so far are kept); an error frame or a CAN FD frame is counted in `skipped`;
// any other record that holds no classic CAN frame (a length above 8) gives an
// error and is skipped.
ReadResult DecodePcap(const uint8_t* data, size_t size);

// True when the bytes start with one of the pcap magic numbers.
bool LooksLikePcap(const uint8_t* data, size_t size);

}  // namespace tavrix::trace
