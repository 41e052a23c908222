// Condition variable type of the utility library (the standard one off the robot controller).
#pragma once

#include <condition_variable>

#include "wpi/mutex.h"

namespace wpi {

using condition_variable = ::std::condition_variable;

}  // namespace wpi
