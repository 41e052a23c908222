// Result code of every command and setter of the device interface. Nothing
// in the library throws; these codes (ParameterStatus for raw parameter
// access) are the only failure reports. A parameter write always gives kOK,
// so no setter fails because of its writes: the controller acknowledges
// none of them.
#pragma once

#include <cstdint>

namespace zem {

enum class CANError : int32_t {
  // The frame was handed to the bus, the setpoint to the driver, or the
  // setting stored; for Follow, the echo came back unchanged.
  kSuccess = 0,
  // Either an argument refused before anything was sent: a control type
  // outside 0..6 or an unsendable closed-loop setpoint or feed-forward
  // (SetReference), a status frame outside 0..2 (SetPeriodicFramePeriod), a
  // PID slot outside 0..3 (the CANPIDController setters); or the follower
  // echo was shorter than 8 bytes or differed (Follow).
  kFailed = 1,
  // Follow only: no echo within the device's CAN timeout.
  kNoReply = 2,
};

}  // namespace zem
