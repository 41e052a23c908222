// A program on the installed package and the real WPILib simulation HAL: one
// controller object on an empty bus (no controller answers, so its firmware
// read times out and is reported), given a setpoint. Exits 0 when the object
// was made and took the setpoint, and the driver answers for the device.
#include <cstdio>

#include <tavrix/CANTavrix.h>
#include <tavrix/TavrixDriver.h>

namespace {

constexpr int kDevice = 1;
constexpr double kOutput = 0.25;

}  // namespace

int main() {
  zem::CANTavrix motor(kDevice, zem::CANTavrixLowLevel::MotorType::kMotorKind1);
  motor.Set(kOutput);
  const bool registered = (ZEM_CANRegisteredDevices >> kDevice & 1u) != 0;
  const bool ok = motor.Get() == kOutput && registered;
  std::printf("tavrix-wpilib-consumer: device %d %s\n", motor.GetDeviceId(), ok ? "OK" : "FAILED");
  return ok ? 0 : 1;
}
