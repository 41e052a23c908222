// Setpoints from robot code: the cost of CANTavrix::Set into the driver's
// table against an uncontended lock with four stores, and the p99 latency of
// Set from four robot threads while the setpoint thread serves 62 devices at
// 10 ms, against the same with the setpoint thread stopped.
#include <atomic>
#include <mutex>
#include <thread>

#include <hal/simulation/MockHooks.h>

#include "BenchSupport.h"

namespace tavrix_bench {
namespace {

constexpr double kSetTarget = 1.5;
constexpr double kContendedP99Target = 2.0;
constexpr int kTableSlots = 64;

// The floor: what storing one device's four values under a lock must cost.
struct FloorTable {
  std::mutex lock;
  float value[kTableSlots] = {};
  int32_t apiId[kTableSlots] = {};
  uint8_t pidSlot[kTableSlots] = {};
  int16_t aux[kTableSlots] = {};
};
FloorTable gFloorTable;

void FloorStore(int device, float value) {
  std::lock_guard<std::mutex> lock(gFloorTable.lock);
  gFloorTable.value[device] = value;
  gFloorTable.apiId[device] = 2;
  gFloorTable.pidSlot[device] = 0;
  gFloorTable.aux[device] = 0;
}

// A value that changes from call to call but stays a valid duty cycle.
double DutyOf(int i) { return static_cast<double>(i % 200 - 100) / 100.0; }

void BM_SetAgainstLockAndFourStores(benchmark::State& state) {
  zem::CANTavrix& robot = BenchWorld::Get().Robot(0);
  HALSIM_PauseTiming();  // nothing else runs: the uncontended path alone
  const int slices = QuickRun() ? 20 : 400;
  constexpr int kBatch = 2000;
  Paired result;
  for (auto _ : state) {
    result = MeasurePaired([](int i) { FloorStore(1, static_cast<float>(DutyOf(i))); },
                           [&robot](int i) { robot.Set(DutyOf(i)); }, slices, kBatch);
    state.SetIterationTime(result.subjectNs * 1e-9);
  }
  ReportFigure(state, result.subjectNs, result.floorNs, kSetTarget);
}
BENCHMARK(BM_SetAgainstLockAndFourStores)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kNanosecond);

// Four robot threads, each calling Set on its own device until told to stop;
// each call timed on its own.
LatencyHistogram RunRobotThreads(std::chrono::milliseconds span) {
  BenchWorld& world = BenchWorld::Get();
  std::vector<LatencyHistogram> perThread(kRobotThreads);
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  threads.reserve(kRobotThreads);
  for (int t = 0; t < kRobotThreads; ++t) {
    threads.emplace_back([&, t] {
      zem::CANTavrix& robot = world.Robot(t);
      LatencyHistogram& histogram = perThread[static_cast<size_t>(t)];
      for (int i = 0; !stop.load(std::memory_order_relaxed); ++i) {
        const int64_t start = NowNs();
        robot.Set(DutyOf(i));
        histogram.Add(NowNs() - start);
      }
    });
  }
  std::this_thread::sleep_for(span);
  stop = true;
  for (std::thread& thread : threads) thread.join();
  LatencyHistogram all;
  for (const LatencyHistogram& h : perThread) all.Merge(h);
  return all;
}

void BM_SetP99FourThreadsWhileSenderServes62(benchmark::State& state) {
  BenchWorld::Get();
  ServeAlignedDevices(kServedDevices, kDefaultPeriodMs);
  const int slices = QuickRun() ? 2 : 8;
  const auto span = std::chrono::milliseconds(QuickRun() ? 50 : 250);
  LatencyHistogram stopped;
  LatencyHistogram serving;
  for (auto _ : state) {
    for (int s = 0; s < slices; ++s) {
      // Paused, the setpoint thread sits in its wait: stopped. Running, it
      // sends 62 frames every 10 ms while the robot threads store.
      const bool senderRuns = s % 2 == 1;
      if (senderRuns) {
        HALSIM_ResumeTiming();
      } else {
        HALSIM_PauseTiming();
      }
      (senderRuns ? serving : stopped).Merge(RunRobotThreads(span));
    }
    HALSIM_PauseTiming();
    state.SetIterationTime(serving.Percentile(99.0) * 1e-9);
  }
  ReportFigure(state, serving.Percentile(99.0), stopped.Percentile(99.0), kContendedP99Target);
  state.counters["p50_serving"] = serving.Percentile(50.0);
  state.counters["p50_stopped"] = stopped.Percentile(50.0);
  state.counters["calls"] = static_cast<double>(serving.Count() + stopped.Count());
}
BENCHMARK(BM_SetP99FourThreadsWhileSenderServes62)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kNanosecond);

}  // namespace
}  // namespace tavrix_bench
