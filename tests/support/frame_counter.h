// Test helper: counts, as they are sent on the simulated bus, the heartbeats
// and one device's setpoint frames.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include <hal/simulation/CanData.h>

#include "process_threads.h"
#include "tavrix/Wire.h"
#include "wall_clock.h"

namespace tavrix_test {

// Counts heartbeats and one device's setpoint frames as they are sent.
class FrameCounter {
 public:
  explicit FrameCounter(int32_t device) : device_(device) {
    uid_ = HALSIM_RegisterCanSendMessageCallback(&OnSend, this);
  }
  // Cancelling does not wait for a callback already under way on another
  // thread: destroy a counter only once nothing sends any more.
  ~FrameCounter() { HALSIM_CancelCanSendMessageCallback(uid_); }
  FrameCounter(const FrameCounter&) = delete;
  FrameCounter& operator=(const FrameCounter&) = delete;

  void Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    heartbeats_ = 0;
    setpoints_ = 0;
  }
  uint64_t Heartbeats() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return heartbeats_;
  }
  uint64_t Setpoints() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return setpoints_;
  }
  // Waits until both counts reach `count`; false after a generous wall-clock
  // bound (a hang, not a timing measurement).
  bool WaitForBoth(uint64_t count) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, WallBound(std::chrono::seconds(10)),
                             [&] { return heartbeats_ >= count && setpoints_ >= count; });
  }

 private:
  static void OnSend(const char* /*name*/, void* param, uint32_t messageID, const uint8_t* /*data*/,
                     uint8_t /*dataSize*/, int32_t periodMs, int32_t* /*status*/) {
    if (periodMs < 0) return;
    auto* self = static_cast<FrameCounter*>(param);
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      if (messageID == zem::wire::kHeartbeatId) {
        ++self->heartbeats_;
      } else if (zem::wire::IsControllerId(messageID) &&
                 zem::wire::DeviceOf(messageID) == self->device_) {
        ++self->setpoints_;
      }
    }
    self->changed_.notify_all();
  }

  const int32_t device_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  uint64_t heartbeats_ = 0;
  uint64_t setpoints_ = 0;
  int32_t uid_ = 0;
};

}  // namespace tavrix_test
