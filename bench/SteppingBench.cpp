// Stepped simulation speed: simulated seconds per wall second of a paused
// clock stepped 20 ms at a time, with 2 and with 8 simulated controllers each
// driven by a CANTavrix object and spinning a flywheel, the robot enabled
// (heartbeats, setpoints, status frames and every controller's 1 ms tick).
// Targets: 200 with 2 controllers, 60 with 8.
#include <hal/simulation/DriverStationData.h>
#include <hal/simulation/MockHooks.h>

#include <memory>
#include <vector>

#include "BenchSupport.h"
#include "tavrix/CANTavrix.h"
#include "tavrix/TavrixDriver.h"

namespace {

constexpr int kFirstDevice = 30;  // clear of the other benchmarks' devices
constexpr uint64_t kStepUs = 20000;
constexpr uint64_t kSecondUs = 1000000;
constexpr double kTargetWithTwo = 200.0;
constexpr double kTargetWithEight = 60.0;

void BM_SteppedSimulatedSecondsPerWallSecond(benchmark::State& state) {
  const int controllers = static_cast<int>(state.range(0));
  HALSIM_PauseTiming();
  std::vector<std::unique_ptr<tavrix::sim::SimController>> sims;
  std::vector<std::unique_ptr<zem::CANTavrix>> motors;
  for (int i = 0; i < controllers; ++i) {
    sims.push_back(std::make_unique<tavrix::sim::SimController>(kFirstDevice + i));
    sims.back()->AttachMechanism(tavrix::sim::Mechanism::Flywheel(tavrix::sim::FlywheelParams{}));
    motors.push_back(std::make_unique<zem::CANTavrix>(
        kFirstDevice + i, zem::CANTavrixLowLevel::MotorType::kMotorKind1));
    motors.back()->Set(0.5);
  }
  HALSIM_SetDriverStationEnabled(1);
  const uint64_t spanUs = tavrix_bench::QuickRun() ? kSecondUs / 5 : 2 * kSecondUs;
  std::vector<double> wallSeconds;
  for (auto _ : state) {
    const int64_t start = tavrix_bench::NowNs();
    for (uint64_t t = 0; t < spanUs; t += kStepUs) HALSIM_StepTiming(kStepUs);
    wallSeconds.push_back(static_cast<double>(tavrix_bench::NowNs() - start) * 1e-9);
    state.SetIterationTime(wallSeconds.back());
  }
  double wallS = 0.0;
  for (const double seconds : wallSeconds) wallS += seconds;
  const double speed =
      static_cast<double>(wallSeconds.size()) * static_cast<double>(spanUs) * 1e-6 / wallS;
  const double target = controllers <= 2 ? kTargetWithTwo : kTargetWithEight;
  state.counters["sim_s_per_wall_s"] = speed;
  state.counters["speed_target"] = target;
  state.counters["speed_met"] = speed >= target ? 1.0 : 0.0;
  HALSIM_SetDriverStationEnabled(0);
  // The driver's registry is process-wide: take these devices off it so that
  // later benchmarks do not serve them.
  for (int i = 0; i < controllers; ++i) {
    motors[static_cast<size_t>(i)]->StopMotor();
    ZEM_CANTavrixUnregisterDevice(kFirstDevice + i);
  }
  motors.clear();
  sims.clear();
}

}  // namespace

BENCHMARK(BM_SteppedSimulatedSecondsPerWallSecond)
    ->Arg(2)
    ->Arg(8)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
