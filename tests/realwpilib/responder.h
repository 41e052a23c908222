// The controller side of the real simulation HAL's CAN bus for the real-time
// suite: a thread of the test's own that answers firmware, parameter and
// follower requests about 1 ms after each request, as a controller on a real
// bus does, and hands its replies to the robot's reads through the receive
// callback. Every frame the robot sends is recorded.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <tavrix/Wire.h>

namespace realwpilib {

struct SentFrame {
  uint32_t id = 0;
  zem::wire::Payload data{};
  uint8_t size = 0;
  int32_t periodMs = 0;
  std::chrono::steady_clock::time_point at;
};

using Frames = std::vector<SentFrame>;

class Responder {
 public:
  // Firmware every controller reports.
  static constexpr uint32_t kFirmware = zem::wire::FirmwareVersion(1, 4, 0);
  static constexpr auto kReplyDelay = std::chrono::milliseconds(1);

  // Initialises the HAL (its simulation data exist only from then on), enables
  // the robot, registers the send and receive callbacks and starts the
  // answering thread.
  // One per process, never destroyed: the HAL cannot cancel a callback that a
  // driver thread is running, and the driver's threads outlive any test body.
  static Responder& Install();

  // The value every controller now holds for a parameter (writes change it too).
  void HoldParameter(int32_t parameterId, uint32_t word);
  // A silent bus: requests are recorded but never answered.
  void SetSilent(bool silent);
  // Every controller frame sent from now on is refused with this status (0:
  // none is); a refused frame is neither recorded nor answered.
  void FailSends(int32_t status);
  // A frame on id arrives now, as a controller's periodic frame does; the
  // next read of id gets it.
  void Publish(uint32_t id, const zem::wire::Payload& data, uint8_t size);

  Frames Sent() const;
  // Waits until done(frames sent so far) holds, at most bound; false if it never did.
  bool WaitFor(const std::function<bool(const Frames&)>& done,
               std::chrono::milliseconds bound) const;

 private:
  struct Reply {
    uint32_t id;
    zem::wire::Payload data;
    uint8_t size;
    std::chrono::steady_clock::time_point due;
  };
  struct Arrived {
    zem::wire::Payload data;
    uint8_t size;
    uint32_t timestampMs;
  };

  Responder();
  static void OnSend(const char* name, void* param, uint32_t messageId, const uint8_t* data,
                     uint8_t dataSize, int32_t periodMs, int32_t* status);
  static void OnReceive(const char* name, void* param, uint32_t* messageId, uint32_t messageIdMask,
                        uint8_t* data, uint8_t* dataSize, uint32_t* timeStamp, int32_t* status);
  int32_t Record(const SentFrame& frame);  // the send's status
  bool Answer(const SentFrame& request, Reply& reply);
  void Run();

  mutable std::mutex m_lock;
  mutable std::condition_variable m_changed;
  Frames m_sent;
  std::deque<Reply> m_pending;            // in request order, so their due times ascend
  std::map<uint32_t, Arrived> m_arrived;  // per id, the newest reply not yet read
  std::map<int32_t, uint32_t> m_parameters;
  bool m_silent = false;
  int32_t m_sendStatus = 0;
  std::thread m_thread;
};

// The frames of the driver's threads: heartbeats and setpoint-id frames.
Frames DriverFrames(const Frames& frames);

}  // namespace realwpilib
