// What a robot does at start-up, in real time: eight controllers constructed
// (each reads the firmware) and each reading back five parameters, against
// simulated controllers that answer 1 ms after each request. The floor is the
// sum of the reply delays: the requests go out one after the other, so no
// start-up can take less. Runs on the stand-in and on WPILib 2026.
#include <memory>
#include <vector>

#include <hal/simulation/MockHooks.h>

#include "BenchStats.h"
#include "tavrix/CANTavrix.h"
#include "tavrix/sim/SimController.h"

namespace tavrix_bench {
namespace {

using Parameter = zem::CANTavrixLowLevel::ConfigParameter;

constexpr int kControllers = 8;
constexpr int kFirstDevice = 40;  // clear of the bench world's devices
constexpr uint64_t kReplyDelayUs = 1000;
constexpr double kStartupTarget = 1.2;
constexpr double kNsPerMs = 1e6;
constexpr Parameter kReadBack[] = {Parameter::kIdleMode, Parameter::kP_0, Parameter::kI_0,
                                   Parameter::kSmartCurrentLimit, Parameter::kOpenLoopRampRate};

// Replies answered by the simulated controllers so far.
uint64_t RepliesSent(const std::vector<std::unique_ptr<tavrix::sim::SimController>>& sims) {
  uint64_t replies = 0;
  for (const auto& sim : sims) {
    const tavrix::sim::CommandCounts counts = sim->GetState().counts;
    replies += counts.firmwareRequests + counts.parameterReads;
  }
  return replies;
}

// One start-up; its wall time in ns, and false if a read went unanswered.
bool StartUp(int64_t* wallNs) {
  const int64_t start = NowNs();
  std::vector<std::unique_ptr<zem::CANTavrix>> robot;
  bool allAnswered = true;
  for (int d = kFirstDevice; d < kFirstDevice + kControllers; ++d) {
    robot.push_back(
        std::make_unique<zem::CANTavrix>(d, zem::CANTavrixLowLevel::MotorType::kMotorKind1));
    allAnswered &= !robot.back()->GetFirmwareString().empty();
    for (Parameter parameter : kReadBack) {
      double value = 0.0;
      allAnswered &= robot.back()->GetParameter(parameter, value) ==
                     zem::CANTavrixLowLevel::ParameterStatus::kOK;
    }
  }
  *wallNs = NowNs() - start;
  return allAnswered;
}

void BM_RobotStartupAgainstSumOfReplyDelays(benchmark::State& state) {
  std::vector<std::unique_ptr<tavrix::sim::SimController>> sims;
  tavrix::sim::BusFaults late;
  late.replyDelayUs = kReplyDelayUs;
  for (int d = kFirstDevice; d < kFirstDevice + kControllers; ++d) {
    sims.push_back(std::make_unique<tavrix::sim::SimController>(d));
    sims.back()->SetBusFaults(late);
  }
  HALSIM_ResumeTiming();
  const int rounds = QuickRun() ? 1 : 9;
  std::vector<double> startupMs;
  std::vector<double> floorMs;
  bool allAnswered = true;
  for (auto _ : state) {
    for (int r = 0; r < rounds; ++r) {
      const uint64_t before = RepliesSent(sims);
      int64_t wallNs = 0;
      allAnswered &= StartUp(&wallNs);
      const uint64_t replies = RepliesSent(sims) - before;
      startupMs.push_back(static_cast<double>(wallNs) / kNsPerMs);
      floorMs.push_back(static_cast<double>(replies * kReplyDelayUs) / 1000.0);
    }
    state.SetIterationTime(Median(startupMs) * 1e-3);
  }
  HALSIM_PauseTiming();
  if (!allAnswered) state.SkipWithError("a start-up read went unanswered");
  ReportFigure(state, Median(startupMs), Median(floorMs), kStartupTarget);
  state.counters["startup_max_ms"] = Percentile(startupMs, 100.0);
}
BENCHMARK(BM_RobotStartupAgainstSumOfReplyDelays)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrix_bench
