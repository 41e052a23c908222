// Exported functions of the device registry and heartbeat: registering,
// starting the heartbeat thread, and the start-up sweep.
#include <mutex>

#include <hal/CAN.h>
#include <tavrix/TavrixDriver.h>
#include <tavrix/Wire.h>

#include "DriverObjects.h"
#include "common/DeviceRegistry.h"

namespace {

using zem::driver::IsServedDeviceNumber;

// The sweep covers every device number a setpoint may have been left
// repeating for, 0 included; 63 is never addressed.
constexpr int32_t kLastSweptDevice = zem::driver::kLastDeviceNumber;

void SweepDevice(int32_t deviceNumber) {
  const zem::wire::Payload zeroSetpoint = zem::wire::EncodeSetpoint(zem::wire::Setpoint{});
  int32_t status = 0;
  for (size_t j = 0; j < zem::wire::kSweepApiIds.size(); ++j) {
    const uint32_t id = zem::wire::ComposeId(deviceNumber, zem::wire::kSweepApiIds[j]);
    HAL_CAN_SendMessage(id, nullptr, 0, HAL_CAN_SEND_PERIOD_STOP_REPEATING, &status);
    // The first id (control type 0) also gets one all-zero setpoint.
    if (j == 0) {
      HAL_CAN_SendMessage(id, zeroSetpoint.data(), static_cast<uint8_t>(zeroSetpoint.size()),
                          HAL_CAN_SEND_PERIOD_NO_REPEAT, &status);
    }
  }
}

}  // namespace

void ZEM_CANTavrixHeartbeatInit(void) {
  for (int32_t d = 0; d <= kLastSweptDevice; ++d) SweepDevice(d);
}

int32_t ZEM_CANTavrixRunHeartbeat(void) {
  using namespace zem::driver;
  std::lock_guard<std::mutex> lock(heartbeatLock);
  if (heartbeatRunCount == 0) {
    heartbeatOwner.Start(&ZEM_CANRegisteredDevices);
    ++heartbeatRunCount;
  }
  return heartbeatRunCount;
}

void ZEM_CANTavrixRegisterDevice(int32_t deviceNumber) {
  if (!IsServedDeviceNumber(deviceNumber)) return;
  std::lock_guard<std::mutex> lock(zem::driver::heartbeatLock);
  zem::driver::SetRegistryBit(&ZEM_CANRegisteredDevices, deviceNumber);
}

void ZEM_CANTavrixUnregisterDevice(int32_t deviceNumber) {
  if (!IsServedDeviceNumber(deviceNumber)) return;
  std::lock_guard<std::mutex> lock(zem::driver::heartbeatLock);
  zem::driver::ClearRegistryBit(&ZEM_CANRegisteredDevices, deviceNumber);
}
