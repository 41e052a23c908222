#include "FrameSchedule.h"

#include <algorithm>
#include <cstdint>

#include "tavrix/Wire.h"

namespace tavrix::sim::detail {
namespace {

constexpr uint64_t kUsPerMs = 1000;

uint64_t PeriodUs(int32_t periodMs) { return static_cast<uint64_t>(periodMs) * kUsPerMs; }

}  // namespace

FrameSchedule::FrameSchedule(uint64_t originUs)
    : periodsMs_{zem::wire::kDefaultStatus0PeriodMs, zem::wire::kDefaultStatus1PeriodMs,
                 zem::wire::kDefaultStatus2PeriodMs} {
  Restart(originUs);
}

void FrameSchedule::Restart(uint64_t nowUs) {
  for (size_t i = 0; i < nextStatusUs_.size(); ++i) {
    nextStatusUs_[i] = nowUs + PeriodUs(std::max(periodsMs_[i], 0));
  }
}

void FrameSchedule::SetPeriod(int frameIndex, int32_t periodMs, uint64_t sinceUs) {
  const size_t i = static_cast<size_t>(frameIndex);
  periodsMs_[i] = periodMs;
  nextStatusUs_[i] = sinceUs + PeriodUs(periodMs);
}

uint64_t FrameSchedule::NextDueUs() const {
  uint64_t next = UINT64_MAX;
  for (size_t i = 0; i < periodsMs_.size(); ++i) {
    if (periodsMs_[i] > 0) next = std::min(next, nextStatusUs_[i]);
  }
  return next;
}

unsigned FrameSchedule::TakeDueStatus(uint64_t nowUs) {
  unsigned due = 0;
  for (size_t i = 0; i < periodsMs_.size(); ++i) {
    if (periodsMs_[i] <= 0 || nowUs < nextStatusUs_[i]) continue;
    nextStatusUs_[i] = nowUs + PeriodUs(periodsMs_[i]);
    due |= 1u << i;
  }
  return due;
}

}  // namespace tavrix::sim::detail
