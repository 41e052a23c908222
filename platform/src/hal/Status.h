// Writing a HAL status out-parameter; a null pointer is tolerated.
#pragma once

#include <stdint.h>

namespace hal {

inline void SetStatus(int32_t* status, int32_t value) {
  if (status != nullptr) *status = value;
}

}  // namespace hal
