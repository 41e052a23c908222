// The driver's process-wide locks, thread owners and counters, shared by the
// exported functions. All are defined in DriverObjects.cpp.
#pragma once

#include <cstdint>
#include <mutex>

#include <wpi/SafeThread.h>

#include "heartbeat/HeartbeatDaemon.h"
#include "setpoint/SetDaemon.h"

namespace zem::driver {

// Serialises the setpoint table writers and the start of the setpoint thread.
extern std::mutex setDriverLock;
extern wpi::SafeThreadOwner<SetDaemon> setDaemonOwner;
// Serialises registry changes and the start of the heartbeat thread.
extern std::mutex heartbeatLock;
extern wpi::SafeThreadOwner<HeartbeatDaemon> heartbeatOwner;

extern uint8_t setDriverRunCount;  // guarded by setDriverLock
extern uint8_t heartbeatRunCount;  // guarded by heartbeatLock

// The sender's status word and the pointer the thread is handed the address
// of. Nothing writes the word, so the start function reports 0.
extern uint64_t setDriverStatusWord;
extern uint64_t* setDriverStatus;

}  // namespace zem::driver
