// Mutex types of the utility library (plain standard mutexes off the robot controller).
#pragma once

#include <mutex>

namespace wpi {

using mutex = ::std::mutex;
using recursive_mutex = ::std::recursive_mutex;

}  // namespace wpi
