// Request and reply on one API id: the firmware read, the parameter reads and
// the follower echo accept only a frame that arrived after their own request.
// Internal to the device library.
#pragma once

#include <cstdint>

#include <frc/CAN.h>
#include <tavrix/adapter/WPILibDevice.h>

namespace zem::detail {

// Discards a frame waiting on apiId (one read), notes the FPGA time, sends the
// request once, then polls for a new frame on apiId stamped at or after that
// time, sleeping about 100 us between polls.
// The wait is bounded on the steady clock by timeoutMs, so that paused
// simulated time cannot hang it; a zero or negative timeout looks once. Blocks
// the calling thread for up to timeoutMs; allocates nothing. True with the
// reply in *reply; false with *reply as the last read left it.
bool RequestReply(adapter::CanPort& device, int32_t apiId, const uint8_t* request, int length,
                  int32_t timeoutMs, frc::CANData* reply);

}  // namespace zem::detail
