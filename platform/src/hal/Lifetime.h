// The HAL's state and its end at process exit. As on WPILib, HAL_Initialize creates
// the state as a function-local static, so that it is destroyed at exit before every
// static object constructed before it; a library thread that still calls the HAL
// after that crashes there. Here such a call aborts with a message instead.
#pragma once

namespace hal {

// Creates the HAL's state once; thread-safe. HAL_Initialize and every call that
// allocates a handle run it.
void InitializeOnce();

// Run first by the HAL calls a library thread makes. Once the state has ended, a
// call from any thread but the exiting one prints which call it was and aborts.
void CheckAlive(const char* function);

}  // namespace hal
