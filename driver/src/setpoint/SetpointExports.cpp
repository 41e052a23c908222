// Exported functions of the setpoint sender: storing setpoints and periods,
// and starting the sender thread.
#include <mutex>

#include <tavrix/TavrixDriver.h>

#include "DriverObjects.h"
#include "common/DeviceRegistry.h"

namespace {

using zem::driver::IsServedDeviceNumber;

constexpr int64_t kMicrosecondsPerMs = 1000;

// Formed in 64 bits, so no period overflows. A negative period has no
// meaning; it stops the device's frames as 0 does (taken as an unsigned
// count it would make the device due on every pass and flood the bus).
uint64_t PeriodMsToUs(int32_t periodMs) {
  if (periodMs <= 0) return 0;
  return static_cast<uint64_t>(periodMs * kMicrosecondsPerMs);
}

}  // namespace

// Part of the start sequence robot code calls; the table needs no setting up.
void ZEM_CANTavrixSetDriverInit(void) {}

int32_t ZEM_CANTavrixRunSetDriver(void) {
  using namespace zem::driver;
  std::lock_guard<std::mutex> lock(setDriverLock);
  if (setDriverRunCount == 0) {
    setDaemonOwner.Start(&ZEM_CANRegisteredDevices, setpointTable);
    ++setDriverRunCount;
  }
  // The sender has no start-up failure to report.
  return 0;
}

void ZEM_CANTavrixSetDriverSet4(int32_t deviceNumber, float value, int32_t apiId, uint8_t pidSlot,
                                int16_t auxWord) {
  if (!IsServedDeviceNumber(deviceNumber)) return;
  std::lock_guard<std::mutex> lock(zem::driver::setDriverLock);
  // Only the table changes: the new content goes out when the device is next due.
  zem::driver::setpointTable.Store(deviceNumber,
                                   zem::driver::SetpointContent{value, apiId, pidSlot, auxWord});
}

void ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(int32_t deviceNumber, int32_t periodMs) {
  if (!IsServedDeviceNumber(deviceNumber)) return;
  std::lock_guard<std::mutex> lock(zem::driver::setDriverLock);
  // The last send time is kept: a new period counts from the device's last send.
  zem::driver::setpointTable.SetPeriodUs(deviceNumber, PeriodMsToUs(periodMs));
}
