// Parameter reads answered late (see LateReplies.h).
#include "LateReplies.h"

#include <time.h>

namespace tavrix_bench {
namespace {

// A read may take the reply delay and a fifth of it.
constexpr double kReadTarget = 1.2;
constexpr double kNoticeP50TargetUs = 100.0;
constexpr double kNoticeP99TargetUs = 300.0;
constexpr double kCpuShareTarget = 0.1;
constexpr double kNsPerUs = 1000.0;

int64_t ThreadCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  constexpr int64_t kNsPerS = 1000000000;
  return static_cast<int64_t>(now.tv_sec) * kNsPerS + now.tv_nsec;
}

}  // namespace

void LateReplyReads::Read(zem::CANTavrix& robot, const std::function<int64_t()>& requestNs,
                          const std::function<int64_t()>& readableNs) {
  double gain = 0.0;
  const int64_t cpuStart = ThreadCpuNs();
  const int64_t start = NowNs();
  allAnswered_ &= robot.GetParameter(zem::CANTavrixLowLevel::ConfigParameter::kP_0, gain) ==
                  zem::CANTavrixLowLevel::ParameterStatus::kOK;
  const int64_t end = NowNs();
  waitCpuNs_ += ThreadCpuNs() - cpuStart;
  waitWallNs_ += end - start;
  noticeUs_.push_back(static_cast<double>(end - readableNs()) / kNsPerUs);
  readUs_.push_back(static_cast<double>(end - start) / kNsPerUs);
  delayUs_.push_back(static_cast<double>(readableNs() - requestNs()) / kNsPerUs);
}

void LateReplyReads::Report(benchmark::State& state) const {
  if (!allAnswered_) state.SkipWithError("a parameter read went unanswered");
  ReportFigure(state, Median(readUs_), Median(delayUs_), kReadTarget);
  const double cpuShare =
      waitWallNs_ > 0 ? static_cast<double>(waitCpuNs_) / static_cast<double>(waitWallNs_) : 0.0;
  const double p50 = Median(noticeUs_);
  const double p99 = Percentile(noticeUs_, 99.0);
  state.counters["notice_p50_us"] = p50;
  state.counters["notice_p90_us"] = Percentile(noticeUs_, 90.0);
  state.counters["notice_p99_us"] = p99;
  state.counters["notice_max_us"] = Percentile(noticeUs_, 100.0);
  state.counters["wait_cpu_share"] = cpuShare;
  state.counters["notice_met"] =
      p50 <= kNoticeP50TargetUs && p99 <= kNoticeP99TargetUs && cpuShare <= kCpuShareTarget ? 1.0
                                                                                            : 0.0;
}

}  // namespace tavrix_bench
