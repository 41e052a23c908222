// Parameter reads answered late, in real time, on any platform: each read is
// timed, its reply's readable instant comes from the caller, and the figure
// reports the read against the reply delay (its floor), the notice (return
// minus readable) as percentiles and the waiting thread's CPU share.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "BenchStats.h"
#include "tavrix/CANTavrix.h"

namespace tavrix_bench {

class LateReplyReads {
 public:
  // One read of kP_0; requestNs and readableNs report, after it, when its
  // request went out and when its reply became readable (NowNs clock).
  void Read(zem::CANTavrix& robot, const std::function<int64_t()>& requestNs,
            const std::function<int64_t()>& readableNs);
  double WallSeconds() const { return static_cast<double>(waitWallNs_) * 1e-9; }
  void Report(benchmark::State& state) const;

 private:
  std::vector<double> noticeUs_;
  std::vector<double> readUs_;
  std::vector<double> delayUs_;
  int64_t waitCpuNs_ = 0;
  int64_t waitWallNs_ = 0;
  bool allAnswered_ = true;
};

}  // namespace tavrix_bench
