// A robot program that uses the installed package: one controller on the
// simulated bus, driven at half output for a fifth of a second of stepped time.
// Exits 0 when the controller answered and applies the output it was given.
#include <cmath>
#include <cstdio>
#include <string>

#include <hal/simulation/DriverStationData.h>
#include <hal/simulation/MockHooks.h>
#include <tavrix/CANTavrix.h>
#include <tavrix/sim/SimController.h>

namespace {

constexpr int kDevice = 3;
constexpr double kOutput = 0.5;
constexpr double kTolerance = 0.01;
constexpr uint64_t kRunUs = 200000;

}  // namespace

int main() {
  HALSIM_PauseTiming();
  tavrix::sim::SimController controller(kDevice);
  int status = 1;
  {
    zem::CANTavrix motor(kDevice, zem::CANTavrixLowLevel::MotorType::kMotorKind1);
    HALSIM_SetDriverStationEnabled(1);
    motor.Set(kOutput);
    HALSIM_StepTiming(kRunUs);
    const std::string firmware = motor.GetFirmwareString();
    const double applied = motor.GetAppliedOutput();
    HALSIM_SetDriverStationEnabled(0);
    std::printf("tavrix-consumer: firmware %s, applied output %.3f\n", firmware.c_str(), applied);
    if (!firmware.empty() && std::fabs(applied - kOutput) < kTolerance) status = 0;
  }
  std::printf("tavrix-consumer: %s\n", status == 0 ? "OK" : "FAILED");
  return status;
}
