// A stepped robot run on WPILib 2026's simulation with two simulated
// controllers on one arm: the leader holds a closed-loop position, the other
// follows it. Prints both controllers' state after every 20 ms step, bit for
// bit (hex floats), so that runs can be compared; with --bench <seconds> it
// runs that much simulated time and prints how many times faster than real
// time it went instead.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <hal/HALBase.h>
#include <hal/simulation/DriverStationData.h>
#include <hal/simulation/MockHooks.h>

#include "tavrix/CANTavrix.h"
#include "tavrix/sim/SimController.h"

namespace {

constexpr uint64_t kStepUs = 20000;
constexpr auto kMotor = zem::CANTavrixLowLevel::MotorType::kMotorKind1;

void Print(const tavrix::sim::SimController& sim) {
  const tavrix::sim::SimState s = sim.GetState();
  std::printf(" %a %a %a %a %a", s.appliedOutput, s.position, s.velocity, s.outputCurrent,
              s.busVoltage);
}

}  // namespace

int main(int argc, char** argv) {
  const bool bench = argc == 3 && std::strcmp(argv[1], "--bench") == 0;
  const double seconds = bench ? std::atof(argv[2]) : 2.0;
  if (!(seconds > 0.0)) {
    std::fprintf(stderr, "usage: %s [--bench <simulated seconds>]\n", argv[0]);
    return 2;
  }

  // Paused at 0 before anything ticks (the driver library initialised the HAL
  // as it loaded, and the clock has run since).
  HALSIM_PauseTiming();
  HALSIM_RestartTiming();
  tavrix::sim::SimController leaderSim(1);
  tavrix::sim::SimController followerSim(2);
  tavrix::sim::ArmParams armParams;
  armParams.gearRatio = 60.0;
  const auto arm = tavrix::sim::Mechanism::Arm(armParams);
  leaderSim.AttachMechanism(arm);
  followerSim.AttachMechanism(arm);

  zem::CANTavrix leader(1, kMotor);
  zem::CANTavrix follower(2, kMotor);
  // The driver's threads start with the controller objects, and their first
  // round depends on what the main thread did by then (registrations, the
  // enable). Once they wait, a settling step puts them on their periods alike.
  if (!tavrix::sim::WaitForNotifierThreads(3)) return 1;  // the tick and the driver's two
  HALSIM_StepTiming(200000);
  follower.Follow(leader);
  auto pid = leader.GetPIDController();
  pid.SetP(0.2);
  pid.SetD(1.0);
  pid.SetReference(10.0, zem::ControlType::kControlType3);  // ten motor rotations
  HALSIM_SetDriverStationEnabled(1);

  const auto steps = static_cast<uint64_t>(seconds * 1e6 / kStepUs);
  const auto start = std::chrono::steady_clock::now();
  for (uint64_t i = 0; i < steps; ++i) {
    HALSIM_StepTiming(kStepUs);
    if (bench) continue;
    std::printf("%" PRIu64, (i + 1) * kStepUs);
    Print(leaderSim);
    Print(followerSim);
    std::printf("\n");
  }
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  if (bench) {
    std::printf("%.1f s simulated in %.3f s: %.1f times real time\n", seconds, wall.count(),
                seconds / wall.count());
  }
  HALSIM_SetDriverStationEnabled(0);
  return 0;
}
