// A parameter read against the simulated controller (request written, reply
// delivered, caller woken) against a condition-variable ping-pong between two
// threads, the least a hand-over to another thread and back costs.
#include <condition_variable>
#include <mutex>
#include <thread>

#include <hal/simulation/MockHooks.h>

#include "BenchSupport.h"

namespace tavrix_bench {
namespace {

constexpr double kRoundTripTarget = 2.0;

// Two threads handing a token back and forth under one mutex.
class PingPong {
 public:
  PingPong() : partner_([this] { Serve(); }) {}
  ~PingPong() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    cond_.notify_all();
    partner_.join();
  }
  PingPong(const PingPong&) = delete;
  PingPong& operator=(const PingPong&) = delete;

  // One round trip: the partner is woken, answers, and this thread is woken.
  void RoundTrip() {
    std::unique_lock<std::mutex> lock(mutex_);
    pinged_ = true;
    cond_.notify_all();
    cond_.wait(lock, [this] { return !pinged_; });
  }

 private:
  void Serve() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      cond_.wait(lock, [this] { return pinged_ || done_; });
      if (done_) return;
      pinged_ = false;
      cond_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable cond_;
  bool pinged_ = false;
  bool done_ = false;
  std::thread partner_;
};

void BM_ParameterReadAgainstCondVarPingPong(benchmark::State& state) {
  BenchWorld& world = BenchWorld::Get();
  zem::CANTavrix& robot = world.Robot(0);
  HALSIM_PauseTiming();  // the controller answers requests without its clock
  world.Controller().Attach();
  PingPong pingPong;
  const int roundTrips = QuickRun() ? 200 : 20000;
  Paired result;
  bool allAnswered = true;
  for (auto _ : state) {
    // One round trip per slice: the medians are of single round trips.
    result = MeasurePaired(
        [&pingPong](int) { pingPong.RoundTrip(); },
        [&robot, &allAnswered](int) {
          double gain = 0.0;
          allAnswered &= robot.GetParameter(zem::CANTavrixLowLevel::ConfigParameter::kP_0, gain) ==
                         zem::CANTavrixLowLevel::ParameterStatus::kOK;
        },
        roundTrips, 1);
    state.SetIterationTime(result.subjectNs * 1e-9);
  }
  world.Controller().Detach();
  if (!allAnswered) state.SkipWithError("a parameter read went unanswered");
  ReportFigure(state, result.subjectNs, result.floorNs, kRoundTripTarget);
}
BENCHMARK(BM_ParameterReadAgainstCondVarPingPong)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavrix_bench
