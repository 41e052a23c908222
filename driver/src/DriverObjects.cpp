// Every process-wide object of the driver, in one translation unit so that
// load creates them in the order written here and unload destroys them in
// reverse: the heartbeat thread is stopped before the setpoint thread, and
// both before the HAL's state goes away.
#include "DriverObjects.h"

#include <hal/HALBase.h>
#include <tavrix/TavrixDriver.h>

// The registry word; exported as a plain variable (see TavrixDriver.h). Its
// atomic accesses need the word's natural 8-byte alignment, which not every
// 32-bit ABI gives a 64-bit integer: asked for here, whatever the target.
alignas(8) uint64_t ZEM_CANRegisteredDevices = 0;

namespace zem::driver {

uint8_t setDriverRunCount = 0;
uint8_t heartbeatRunCount = 0;
// Ready at load (see SetpointTable.h), so its place here does not matter; it
// is written before the thread that reads it starts and destroys nothing.
SetpointTable setpointTable;

namespace {

// The HAL creates its state on first initialisation and destroys it at exit
// before every static object constructed before that; the threads use it
// until their owners below have joined them. Initialising is idempotent.
bool InitializeHal() { return HAL_Initialize(500, 0) != 0; }

}  // namespace

// Creation order matters (see the top of this file).
const bool halInitialized = InitializeHal();
std::mutex setDriverLock;
PacedThreadOwner<SetDaemon> setDaemonOwner;
std::mutex heartbeatLock;
PacedThreadOwner<HeartbeatDaemon> heartbeatOwner;

}  // namespace zem::driver
