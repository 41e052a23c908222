// The synthetic capture of every API id, as text2pcap records.
#include <cstdio>

#include "CatalogueExport.h"
#include "tavrix/Wire.h"
#include "tavrix/trace/TraceFrame.h"

namespace tavrix::catalogue {
namespace {

namespace wire = zem::wire;

constexpr int kApiCount = static_cast<int>(wire::kApiMask) + 1;
constexpr int kDeviceCount = static_cast<int>(wire::kDeviceMask) + 1;
constexpr int kMaxLength = wire::kPayloadLength;

// One record: offset, the SocketCAN id big-endian, the length, three reserved
// bytes and eight data bytes, the first `length` of them patterned by seed.
void AppendRecord(std::string& out, uint32_t canId, int length, int seed) {
  char line[96];
  int n = std::snprintf(line, sizeof line, "000000 %02x %02x %02x %02x %02x 00 00 00",
                        (canId >> 24) & 0xFFu, (canId >> 16) & 0xFFu, (canId >> 8) & 0xFFu,
                        canId & 0xFFu, static_cast<unsigned>(length));
  for (int i = 0; i < kMaxLength; ++i) {
    const int b = i < length ? (seed * 37 + i * 91 + (seed / 7) * i) % 256 : 0;
    n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), " %02x", b);
  }
  out += line;
  out += '\n';
}

uint32_t Extended(int32_t device, int32_t api) {
  return trace::kCanEffFlag | wire::ComposeId(device, api);
}

}  // namespace

std::string CaptureRecords() {
  std::string out;
  for (int pass = 0; pass < 2; ++pass) {
    for (int api = 0; api < kApiCount; ++api) {
      AppendRecord(out, Extended(api % kDeviceCount, api), (api * (pass + 2) + pass) % 9,
                   api + 1031 * pass);
    }
  }
  for (int32_t api = wire::api::kStatus0; api <= wire::api::kStatus2; ++api) {
    AppendRecord(out, Extended(3, api), wire::kPeriodCommandLength, api);  // period commands
  }
  AppendRecord(out, Extended(4, wire::api::kFirmwareVersion), 0, 0);  // request and reply
  AppendRecord(out, Extended(4, wire::api::kFirmwareVersion), wire::kFirmwareReplyLength, 1);
  AppendRecord(out, trace::kCanEffFlag | wire::kHeartbeatId, kMaxLength, 0);  // no device
  // Not ours: a remote request on our id, a standard id, another device type.
  AppendRecord(out, trace::kCanRtrFlag | Extended(1, wire::api::kFirmwareVersion), 0, 0);
  AppendRecord(out, 0x123, 2, 5);
  AppendRecord(out, trace::kCanEffFlag | (wire::kIdBase & 0x00FFFFFFu) | (9u << 24), kMaxLength, 9);
  return out;
}

}  // namespace tavrix::catalogue
