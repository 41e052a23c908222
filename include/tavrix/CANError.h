// Result code of every command and setter of the device interface.
#pragma once

#include <cstdint>

namespace zem {

enum class CANError : int32_t {
  kSuccess = 0,  // handed on, stored, or echoed back unchanged
  kFailed = 1,   // argument rejected, write not acknowledged, or echo short/different
  kNoReply = 2,  // the controller did not answer within the CAN timeout
};

}  // namespace zem
