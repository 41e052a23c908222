// Simulation cost with mechanisms attached: wall time per controller-second
// of stepped simulated time, four controllers each driving an arm on a
// position loop (the stepping thread waits for every controller's tick).
#include <hal/simulation/MockHooks.h>

#include <memory>
#include <vector>

#include "BenchSupport.h"
#include "tavrix/sim/Mechanisms.h"

namespace {

constexpr int kControllers = 4;
constexpr int kFirstDevice = 20;  // clear of the bench world's devices
constexpr uint64_t kSecondUs = 1000000;

void BM_SimulatedArmsPerControllerSecond(benchmark::State& state) {
  HALSIM_PauseTiming();
  std::vector<std::unique_ptr<tavrix::sim::SimController>> sims;
  for (int i = 0; i < kControllers; ++i) {
    sims.push_back(std::make_unique<tavrix::sim::SimController>(kFirstDevice + i));
    tavrix::sim::ArmParams arm;
    arm.minAngleRad = -1.6;
    arm.maxAngleRad = 1.6;
    sims.back()->AttachMechanism(tavrix::sim::Mechanism::Arm(arm));
  }
  const uint64_t spanUs = tavrix_bench::QuickRun() ? kSecondUs / 10 : kSecondUs;
  for (auto _ : state) {
    const int64_t start = tavrix_bench::NowNs();
    HALSIM_StepTiming(spanUs);
    const double seconds = static_cast<double>(tavrix_bench::NowNs() - start) * 1e-9;
    state.SetIterationTime(seconds);
  }
  const double controllerSeconds =
      static_cast<double>(state.iterations()) * kControllers * static_cast<double>(spanUs) * 1e-6;
  state.counters["ctrl_s_per_wall_s"] =
      benchmark::Counter(controllerSeconds, benchmark::Counter::kIsRate);
  sims.clear();
}

}  // namespace

BENCHMARK(BM_SimulatedArmsPerControllerSecond)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
