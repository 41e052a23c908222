// Control types of a setpoint. Each selects the API id of the setpoint frame
// the driver repeats; the library gives them no other meaning. A value
// outside 0..6 makes SetReference return kFailed.
#pragma once

#include <cstdint>

namespace zem {

enum class ControlType : int32_t {
  kControlType0 = 0,  // speed-controller output, -1.0 to 1.0
  kControlType1 = 1,
  kControlType2 = 2,
  kControlType3 = 3,
  kControlType4 = 4,
  kControlType5 = 5,
  kControlType6 = 6,
};

}  // namespace zem
