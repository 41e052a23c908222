// When a simulated controller's status frames are due, at their periods.
// Knows nothing of what the frames say. Not thread-safe (the controller's lock guards it).
#pragma once

#include <array>
#include <cstdint>

namespace tavrix::sim::detail {

class FrameSchedule {
 public:
  static constexpr int kStatusFrameCount = 3;
  using Periods = std::array<int32_t, kStatusFrameCount>;

  // The default periods, each first due one period after originUs.
  explicit FrameSchedule(uint64_t originUs);

  // Counts the periods again from nowUs (a controller attaching), keeping them.
  void Restart(uint64_t nowUs);
  // A period command received at sinceUs: due next one period later (0 or less: never).
  void SetPeriod(int frameIndex, int32_t periodMs, uint64_t sinceUs);
  const Periods& PeriodsMs() const { return periodsMs_; }

  // The earliest time a status frame is due; UINT64_MAX for none.
  uint64_t NextDueUs() const;
  // The status frames due at nowUs, one bit per frame index; each is then due a period later.
  unsigned TakeDueStatus(uint64_t nowUs);

 private:
  Periods periodsMs_;
  std::array<uint64_t, kStatusFrameCount> nextStatusUs_{};
};

}  // namespace tavrix::sim::detail
