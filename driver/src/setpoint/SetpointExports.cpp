// Exported functions of the setpoint sender: storing setpoints and periods,
// and starting the sender thread.
#include <mutex>

#include <tavrix/TavrixDriver.h>

#include "DriverObjects.h"
#include "common/DeviceRegistry.h"
#include "setpoint/SetpointTable.h"

namespace {

using zem::driver::IsServedDeviceNumber;

constexpr int64_t kMicrosecondsPerMs = 1000;
// The start function reports the status word only while it fits a signed 32-bit result.
constexpr uint64_t kLargestReportedStatus = 0x7FFFFFFF;

// Formed in 64 bits, so no period overflows. A negative period has no
// meaning; it stops the device's frames as 0 does (taken as an unsigned
// count it would make the device due on every pass and flood the bus).
uint64_t PeriodMsToUs(int32_t periodMs) {
  if (periodMs <= 0) return 0;
  return static_cast<uint64_t>(periodMs * kMicrosecondsPerMs);
}

int32_t ReportedStatus(uint64_t statusWord) {
  return statusWord <= kLargestReportedStatus ? static_cast<int32_t>(statusWord) : 0;
}

}  // namespace

void ZEM_CANTavrixSetDriverInit(void) {}

int32_t ZEM_CANTavrixRunSetDriver(void) {
  using namespace zem::driver;
  std::lock_guard<std::mutex> lock(setDriverLock);
  if (setDriverRunCount == 0) {
    setDaemonOwner.Start(&ZEM_CANRegisteredDevices, setpointValue, setpointAux, setpointPidSlot,
                         setpointApiId, ctrlFramePeriodUs, &setDriverStatus);
    ++setDriverRunCount;
  }
  return ReportedStatus(*setDriverStatus);
}

void ZEM_CANTavrixSetDriverSet4(int32_t deviceNumber, float value, int32_t apiId, uint8_t pidSlot,
                                int16_t auxWord) {
  if (!IsServedDeviceNumber(deviceNumber)) return;
  std::lock_guard<std::mutex> lock(zem::driver::setDriverLock);
  // Only the tables change: the new content goes out when the device is next due.
  zem::driver::StoreSetpoint(deviceNumber,
                             zem::driver::SetpointContent{value, apiId, pidSlot, auxWord});
}

void ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(int32_t deviceNumber, int32_t periodMs) {
  if (!IsServedDeviceNumber(deviceNumber)) return;
  std::lock_guard<std::mutex> lock(zem::driver::setDriverLock);
  // The last send time is kept: a new period counts from the device's last send.
  zem::driver::ctrlFramePeriodUs[deviceNumber].store(PeriodMsToUs(periodMs),
                                                     std::memory_order_relaxed);
}
