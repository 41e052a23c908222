// The measuring helpers (see BenchStats.h).
#include "BenchStats.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tavrix_bench {

bool QuickRun() {
  // Read once, on first use; nothing in the benchmarks sets the environment.
  static const bool quick = [] {
    const char* value = std::getenv("TAVRIX_BENCH_QUICK");  // NOLINT(concurrency-mt-unsafe)
    return value != nullptr && std::strcmp(value, "0") != 0;
  }();
  return quick;
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
