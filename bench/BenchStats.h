// The measuring helpers every benchmark shares, on any platform: the quick
// switch, the clock, paired floor/subject slices, latency histograms,
// percentiles and the counters of a figure.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <vector>

namespace tavrix_bench {

// TAVRIX_BENCH_QUICK=1 shrinks every figure to a smoke run (CI).
bool QuickRun();

inline int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Time per call of a subject and of its floor, measured in alternating slices
// so that a change of load on a shared machine hits both alike.
struct Paired {
  double subjectNs = 0.0;
  double floorNs = 0.0;
  double Ratio() const { return floorNs > 0.0 ? subjectNs / floorNs : 0.0; }
};

double Median(std::vector<double> values);

// `slices` rounds of `batch` floor calls and `batch` subject calls (which goes
// first alternates); the medians of the per-call times of the slices.
template <typename Floor, typename Subject>
Paired MeasurePaired(Floor&& floor, Subject&& subject, int slices, int batch) {
  std::vector<double> floorNs;
  std::vector<double> subjectNs;
  floorNs.reserve(static_cast<size_t>(slices));
  subjectNs.reserve(static_cast<size_t>(slices));
  auto timeBatch = [batch](auto& body) {
    const int64_t start = NowNs();
    for (int i = 0; i < batch; ++i) body(i);
    return static_cast<double>(NowNs() - start) / batch;
  };
  for (int s = 0; s < slices; ++s) {
    if (s % 2 == 0) {
      floorNs.push_back(timeBatch(floor));
      subjectNs.push_back(timeBatch(subject));
    } else {
      subjectNs.push_back(timeBatch(subject));
      floorNs.push_back(timeBatch(floor));
    }
  }
  return Paired{Median(subjectNs), Median(floorNs)};
}

// Latencies in whole nanoseconds up to 1 ms, above that in one overflow bin
// (kept with its maximum); fixed size, so recording never allocates.
class LatencyHistogram {
 public:
  static constexpr int64_t kMaxNs = 1000000;
  LatencyHistogram();
  void Add(int64_t ns);
  void Merge(const LatencyHistogram& other);
  uint64_t Count() const { return count_; }
  // Nearest-rank percentile, p in 0..100; in the overflow bin, its maximum.
  double Percentile(double p) const;

 private:
  std::vector<uint64_t> bins_;
  uint64_t count_ = 0;
  int64_t overflowMax_ = 0;
};

// Nearest-rank percentile of raw samples, p in 0..100; 0 for none.
double Percentile(std::vector<double> samples, double p);

// The counters every ratio figure reports; the benchmark's own time is the
// subject's (manual time), so the table and the JSON output show it.
void ReportFigure(benchmark::State& state, double subject, double floor, double target);

}  // namespace tavrix_bench
