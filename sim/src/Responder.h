// The part of a simulated controller that answers the robot at once, on the
// sending thread: firmware and parameter reads, the follower echo, and the
// parameter store as the robot sees it (so that a read after a write reads the
// write) with the burned copy a power cycle restores. Shapes every reply by
// the bus faults. Not thread-safe (the controller's lock guards it).
#pragma once

#include <cstdint>
#include <optional>

#include "ParameterStore.h"
#include "SimFrames.h"
#include "tavrix/sim/SimController.h"

namespace tavrix::sim::detail {

class Responder {
 public:
  Responder(int deviceNumber, uint32_t firmwareVersion, bool debugBuild);

  struct Answer {
    bool handled = false;           // true: the frame has no effect left for the control step
    std::optional<OutFrame> reply;  // held back (dueUs) by a reply delay
  };
  // A frame addressed to this device (not the heartbeat).
  Answer OnRequest(const Frame& f, int32_t apiId, CommandCounts* counts);

  const ParameterStore& RobotStore() const { return robot_; }
  ParameterStore& RobotStore() { return robot_; }
  // The stores as a reboot leaves them: the robot's is the burned one again.
  const ParameterStore& PowerCycle();

  void SetFirmware(uint32_t version, bool debugBuild);
  void SetBusFaults(const BusFaults& faults) { faults_ = faults; }
  const BusFaults& Faults() const { return faults_; }

 private:
  std::optional<OutFrame> ReplyOf(uint64_t timeUs, int32_t apiId, const uint8_t* data,
                                  int length) const;
  Answer ParameterRequest(const Frame& f, int parameterId, CommandCounts* counts);
  Answer FirmwareRequest(const Frame& f, CommandCounts* counts) const;
  std::optional<OutFrame> FollowerEcho(const Frame& f) const;
  void FactoryDefaults(const Frame& f);

  int device_;
  uint32_t firmwareVersion_;
  bool debugBuild_;
  BusFaults faults_;
  ParameterStore robot_;
  ParameterStore burned_;
};

}  // namespace tavrix::sim::detail
