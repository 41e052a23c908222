// The bench world and the measuring helpers (see BenchSupport.h).
#include "BenchSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <hal/simulation/MockHooks.h>
#include <hal/simulation/SimRecords.h>
#include <wpi/SafeThread.h>

#include "tavrix/TavrixDriver.h"
#include "tavrix/Wire.h"

namespace tavrix_bench {

namespace {

// The driver's two threads; the device library's start-up thread ends after starting them.
constexpr int kDriverThreads = 2;
constexpr auto kStartupBound = std::chrono::seconds(10);
constexpr uint64_t kUsPerMs = 1000;

void WaitForStartupThreadToEnd() {
  const auto deadline = std::chrono::steady_clock::now() + kStartupBound;
  while (wpi::detail::GetRunningSafeThreadCount() > kDriverThreads &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
}

}  // namespace

bool QuickRun() {
  // Read once, on first use; nothing in the benchmarks sets the environment.
  static const bool quick = [] {
    const char* value = std::getenv("TAVRIX_BENCH_QUICK");  // NOLINT(concurrency-mt-unsafe)
    return value != nullptr && std::strcmp(value, "0") != 0;
  }();
  return quick;
}

BenchWorld& BenchWorld::Get() {
  static BenchWorld* world = new BenchWorld;  // lives until exit, like the driver's threads
  return *world;
}

BenchWorld::BenchWorld() {
  HALSIM_PauseTiming();
  // Recording every frame is the simulation's cost, not the library's.
  halsim::SetCanTraceEnabled(false);
  // Started here so that the device library's start-up thread finds them running.
  ZEM_CANTavrixRunHeartbeat();
  ZEM_CANTavrixRunSetDriver();
  // Each robot object finds a controller to read its firmware from.
  std::vector<std::unique_ptr<tavrix::sim::SimController>> controllers;
  for (int d = 1; d <= kRobotThreads; ++d) {
    controllers.push_back(std::make_unique<tavrix::sim::SimController>(d));
  }
  for (int d = 1; d <= kRobotThreads; ++d) {
    robots_.push_back(
        std::make_unique<zem::CANTavrix>(d, zem::CANTavrixLowLevel::MotorType::kMotorKind1));
  }
  WaitForStartupThreadToEnd();
  controller_ = std::move(controllers.front());
  controller_->Detach();
}

void ServeAlignedDevices(int count, int periodMs) {
  HALSIM_PauseTiming();
  for (int d = 1; d <= kServedDevices; ++d) {
    ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(d, 0);
    ZEM_CANTavrixUnregisterDevice(d);
  }
  // Past the sender's idle wake: it has scanned an empty registry and every
  // device's last send lies more than a period back.
  HALSIM_StepTiming(zem::wire::kSetpointIdleWakeUs + static_cast<uint64_t>(periodMs) * kUsPerMs);
  for (int d = 1; d <= count; ++d) {
    ZEM_CANTavrixRegisterDevice(d);
    ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(d, periodMs);
  }
  // The next pass sends them all at one paused instant, which keeps them aligned.
  HALSIM_StepTiming(zem::wire::kSetpointIdleWakeUs);
}

double Median(std::vector<double> values) { return Percentile(std::move(values), 50.0); }

double Percentile(std::vector<double> samples, double p) {
  if (samples.empty()) return 0.0;
  std::sort(samples.begin(), samples.end());
  const double rank = std::ceil(p / 100.0 * static_cast<double>(samples.size()));
  const size_t index = rank < 1.0 ? 0 : static_cast<size_t>(rank) - 1;
  return samples[std::min(index, samples.size() - 1)];
}

LatencyHistogram::LatencyHistogram() : bins_(static_cast<size_t>(kMaxNs) + 1, 0) {}

void LatencyHistogram::Add(int64_t ns) {
  ++count_;
  if (ns < 0) ns = 0;
  if (ns >= kMaxNs) {
    ++bins_[static_cast<size_t>(kMaxNs)];
    overflowMax_ = std::max(overflowMax_, ns);
    return;
  }
  ++bins_[static_cast<size_t>(ns)];
}

void LatencyHistogram::Merge(const LatencyHistogram& other) {
  for (size_t i = 0; i < bins_.size(); ++i) bins_[i] += other.bins_[i];
  count_ += other.count_;
  overflowMax_ = std::max(overflowMax_, other.overflowMax_);
}

double LatencyHistogram::Percentile(double p) const {
  if (count_ == 0) return 0.0;
  const double rank = std::ceil(p / 100.0 * static_cast<double>(count_));
  const uint64_t wanted = rank < 1.0 ? 1 : static_cast<uint64_t>(rank);
  uint64_t seen = 0;
  for (size_t ns = 0; ns < static_cast<size_t>(kMaxNs); ++ns) {
    seen += bins_[ns];
    if (seen >= wanted) return static_cast<double>(ns);
  }
  return static_cast<double>(overflowMax_);
}

void ReportFigure(benchmark::State& state, double subject, double floor, double target) {
  const double ratio = floor > 0.0 ? subject / floor : 0.0;
  state.counters["subject"] = subject;
  state.counters["floor"] = floor;
  state.counters["ratio"] = ratio;
  state.counters["target"] = target;
  state.counters["met"] = ratio <= target ? 1.0 : 0.0;
}

}  // namespace tavrix_bench
