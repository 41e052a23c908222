// Request and reply on one API id (see ReplyWait.h). The platform's reads
// never wait, and a cached frame of an earlier request may still be young, so
// only a newly received frame stamped at or after the request counts.
#include "ReplyWait.h"

#include <chrono>
#include <thread>

#include <hal/HALBase.h>

namespace zem::detail {

namespace {

// A reply is noticed on average half a pause after it became readable, and
// each wake-up costs the waiting thread CPU time (10-20 us on a loaded virtual
// machine). 100 us keeps the notice near 0.1 ms and a waiting read below a
// tenth of a core; a back-off would trade a late reply's notice for nothing.
constexpr std::chrono::microseconds kPollPause{100};
constexpr uint64_t kMicrosPerMilli = 1000;

// The CAN API's clock: FPGA time in ms, cut to 32 bits like frame timestamps.
uint32_t PacketTimeMs() {
  int32_t status = 0;
  return static_cast<uint32_t>(HAL_GetFPGATime(&status) / kMicrosPerMilli);
}

// Wrap-aware: the 32-bit ms clock wraps after about 49 days.
bool StampedAtOrAfter(const frc::CANData& frame, uint32_t requestMs) {
  const auto sinceRequest = static_cast<uint32_t>(frame.timestamp) - requestMs;
  return sinceRequest < 0x80000000u;
}

bool ReadReply(adapter::CanPort& device, int32_t apiId, uint32_t requestMs, frc::CANData* reply) {
  return device.ReadPacketNew(apiId, reply) && StampedAtOrAfter(*reply, requestMs);
}

}  // namespace

bool RequestReply(adapter::CanPort& device, int32_t apiId, const uint8_t* request, int length,
                  int32_t timeoutMs, frc::CANData* reply) {
  frc::CANData stale{};
  device.ReadPacketNew(apiId, &stale);
  const uint32_t requestMs = PacketTimeMs();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  device.WritePacket(request, length, apiId);

  while (!ReadReply(device, apiId, requestMs, reply)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollPause);
  }
  return true;
}

}  // namespace zem::detail
