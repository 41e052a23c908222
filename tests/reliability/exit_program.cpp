// Returns from main while the driver's heartbeat and setpoint threads and a
// simulated controller run, with the clock running ("running") or paused
// ("paused"): static destruction must end the threads at once, so the test
// that runs this has a short timeout. Exit status 0 once frames were seen.
#include <cstdio>
#include <cstring>

#include <hal/simulation/DriverStationData.h>
#include <hal/simulation/MockHooks.h>

#include "frame_counter.h"
#include "tavrix/CANTavrix.h"
#include "tavrix/sim/SimController.h"

int main(int argc, char** argv) {
  if (argc != 2 || (std::strcmp(argv[1], "running") != 0 && std::strcmp(argv[1], "paused") != 0)) {
    std::fputs("usage: reliability_exit_program running|paused\n", stderr);
    return 2;
  }
  const bool paused = std::strcmp(argv[1], "paused") == 0;
  constexpr int kDevice = 7;
  // Never destroyed: the driver's threads still send while the process exits.
  static tavrix_test::FrameCounter& frames = *new tavrix_test::FrameCounter(kDevice);
  if (paused) HALSIM_PauseTiming();
  HALSIM_SetDriverStationEnabled(1);
  tavrix::sim::SimController controller(kDevice);
  zem::CANTavrix motor(kDevice, zem::CANTavrixLowLevel::MotorType::kMotorKind1);
  motor.Set(0.25);
  if (paused) HALSIM_StepTiming(60000);
  if (!frames.WaitForBoth(2)) {
    std::fputs("the driver's threads sent nothing\n", stderr);
    return 1;
  }
  return 0;
}
