// Test helper: records every frame the robot side sends on the simulated bus,
// stamped with the simulated FPGA time, and lets a test wait (bounded on the
// wall clock) until frames it expects have been sent.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

struct SentFrame {
  uint64_t timeUs = 0;
  uint32_t id = 0;
  uint8_t size = 0;
  std::array<uint8_t, 8> data{};
  int32_t periodMs = 0;
};

class BusRecorder {
 public:
  BusRecorder();
  ~BusRecorder();
  BusRecorder(const BusRecorder&) = delete;
  BusRecorder& operator=(const BusRecorder&) = delete;

  std::vector<SentFrame> Frames() const;
  std::vector<SentFrame> FramesFor(uint32_t id) const;
  // Frames sent to any API id of one device number of the controller.
  std::vector<SentFrame> FramesForDevice(int deviceNumber) const;
  void Clear();

  // Waits until at least `count` frames with this id were sent; false after
  // a generous wall-clock bound (a hang, not a timing measurement).
  bool WaitForCount(uint32_t id, size_t count) const;
  bool WaitFor(const std::function<bool(const std::vector<SentFrame>&)>& done) const;

 private:
  struct State {
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<SentFrame> frames;
  };
  static void OnSend(const char* name, void* param, uint32_t messageID, const uint8_t* data,
                     uint8_t dataSize, int32_t periodMs, int32_t* status);

  // Cancelling a callback does not wait for calls already under way, and the
  // driver's threads outlive any test, so the state they write is never freed.
  State& m_state;
  int32_t m_uid = 0;
};
