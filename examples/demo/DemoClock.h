// The demo's sense of time: in stepped mode it advances the paused simulated
// clock as fast as the threads can follow; in real-time mode it waits on a HAL
// notifier, as a periodic robot program does.
#pragma once

#include <cstdint>

#include <hal/Types.h>

namespace tavrix::demo {

class DemoClock {
 public:
  explicit DemoClock(bool realtime);
  ~DemoClock();
  DemoClock(const DemoClock&) = delete;
  DemoClock& operator=(const DemoClock&) = delete;

  // Moves the clock forward at once (paused, stepped, then resumed in real-time
  // mode): the controllers have been powered that long when the program starts.
  void PowerOnDelay(uint64_t deltaUs);
  uint64_t NowUs() const;
  void Advance(uint64_t deltaUs);
  bool Realtime() const { return realtime_; }

 private:
  bool realtime_;
  HAL_NotifierHandle notifier_ = 0;
};

}  // namespace tavrix::demo
