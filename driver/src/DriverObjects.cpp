// Every process-wide object of the driver, in one translation unit so that
// load creates them in the order written here and unload destroys them in
// reverse: the heartbeat thread is stopped before the setpoint thread.
#include "DriverObjects.h"

#include <tavrix/TavrixDriver.h>

#include "SetpointSlots.h"

// The registry word; exported as a plain variable (see TavrixDriver.h). Its
// atomic accesses need the word's natural 8-byte alignment, which not every
// 32-bit ABI gives a 64-bit integer: asked for here, whatever the target.
alignas(8) uint64_t ZEM_CANRegisteredDevices = 0;

namespace zem::driver {

// Zero at load (static storage); written only under setDriverLock.
std::atomic<float> setpointValue[kDeviceSlots];
std::atomic<int16_t> setpointAux[kDeviceSlots];
std::atomic<uint8_t> setpointPidSlot[kDeviceSlots];
std::atomic<int32_t> setpointApiId[kDeviceSlots];
std::atomic<uint64_t> ctrlFramePeriodUs[kDeviceSlots];

uint8_t setDriverRunCount = 0;
uint8_t heartbeatRunCount = 0;
uint64_t setDriverStatusWord = 0;
uint64_t* setDriverStatus = &setDriverStatusWord;

// Creation order matters (see the top of this file).
std::mutex setDriverLock;
wpi::SafeThreadOwner<SetDaemon> setDaemonOwner;
std::mutex heartbeatLock;
wpi::SafeThreadOwner<HeartbeatDaemon> heartbeatOwner;

}  // namespace zem::driver
