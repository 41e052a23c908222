// The driver's process-wide objects: the setpoint table, the locks, the thread
// owners and the run counters, shared by the exported functions. All are
// defined in DriverObjects.cpp.
#pragma once

#include <cstdint>
#include <mutex>

#include <wpi/SafeThread.h>

#include "heartbeat/HeartbeatDaemon.h"
#include "setpoint/SetDaemon.h"
#include "setpoint/SetpointTable.h"

namespace zem::driver {

// Written only under setDriverLock; read by the setpoint thread.
extern SetpointTable setpointTable;
// Serialises the setpoint table writers and the start of the setpoint thread.
extern std::mutex setDriverLock;
extern PacedThreadOwner<SetDaemon> setDaemonOwner;
// Serialises registry changes and the start of the heartbeat thread.
extern std::mutex heartbeatLock;
extern PacedThreadOwner<HeartbeatDaemon> heartbeatOwner;

extern uint8_t setDriverRunCount;  // guarded by setDriverLock
extern uint8_t heartbeatRunCount;  // guarded by heartbeatLock

}  // namespace zem::driver
