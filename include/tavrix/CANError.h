// Result code of every command and setter of the device interface (raw
// parameter access gives ParameterStatus instead); nothing in the library
// throws. A parameter write always gives kOK, so no setter fails because of
// its writes: the controller acknowledges none of them.
#pragma once

#include <cstdint>

namespace zem {

enum class CANError : int32_t {
  // The frame was handed to the bus, the setpoint to the driver, or the
  // setting stored; for Follow, the echo came back unchanged.
  kSuccess = 0,
  // Either an argument refused before anything was sent: a control type
  // outside 0..6, or for types 1..6 a setpoint that is NaN, infinite or
  // beyond the float range or a NaN or infinite feed-forward (SetReference);
  // a status frame outside 0..2 (SetPeriodicFramePeriod); a PID slot outside
  // 0..3 (the CANPIDController setters). Or the follower echo was shorter
  // than 8 bytes or differed (Follow).
  kFailed = 1,
  // Follow only: no echo within the device's CAN timeout.
  kNoReply = 2,
};

}  // namespace zem
