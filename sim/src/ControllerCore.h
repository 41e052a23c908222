// One simulated controller, apart from the bus and the thread: a thin
// coordinator that owns the lock and passes received frames and the passing
// of simulated time to its parts, each with one job:
//   Responder      request frames -> replies, the parameter store the robot sees
//   ControlLaw     heartbeat, setpoint or leader -> output
//   Drive          output -> volts, current, motion, encoder (rotor state from outside)
//   FrameSchedule  which status frames and held replies are due
// Every public member is thread-safe; the frames to put on the bus are
// returned to the caller, who delivers them after the lock is released (a
// delivery calls other devices' handlers).
//
// A robot frame is taken in two parts: the answer (Responder) at once, on the
// sending thread; its effect on the control step either at once too
// (kOnReceipt) or at the next tick, in the order of the frames' time stamps
// (kAtNextTick: for platforms whose threads due at one instant run in
// parallel, so that a tick at time t sees exactly the frames sent before t).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "ControlLaw.h"
#include "Drive.h"
#include "FrameSchedule.h"
#include "ParameterStore.h"
#include "Responder.h"
#include "SimFrames.h"
#include "tavrix/Wire.h"
#include "tavrix/sim/SimController.h"

namespace tavrix::sim::detail {

class ControllerCore {
 public:
  static constexpr uint64_t kTickUs = 1000;
  enum class CommandTiming { kOnReceipt, kAtNextTick };

  ControllerCore(int deviceNumber, const SimOptions& options,
                 CommandTiming timing = CommandTiming::kOnReceipt);
  ControllerCore(const ControllerCore&) = delete;
  ControllerCore& operator=(const ControllerCore&) = delete;

  int DeviceNumber() const { return device_; }

  // A frame the robot sent (commands to this device, the heartbeat).
  void OnRobotFrame(const Frame& frame, Outbox* out);
  // A frame another device delivered (a leader's status frame).
  void OnDeviceFrame(const Frame& frame);

  // Sets the time from which the ticks count (at attach); returns the first tick's time.
  uint64_t StartClock(uint64_t nowUs);
  // Runs every whole tick up to nowUs; returns the time of the next tick.
  uint64_t Advance(uint64_t nowUs, Outbox* out);
  uint64_t NextTickUs() const;
  // The first tick that others can see: one that sends a status frame or
  // applies a received command, or the last of a bounded idle stretch.
  uint64_t NextEventUs() const;

  // The rotor's state from the caller's own physics, from the first tick after
  // nowUs on (see SimController::SetRotorState); false for a non-finite value.
  bool SetRotorState(double rotations, double rpm, uint64_t nowUs);
  void ReleaseRotorState(uint64_t nowUs);
  // The volts across the motor as the last tick before nowUs left them.
  double MotorVoltageBefore(uint64_t nowUs) const;

  SimState State() const;
  std::optional<ParameterValue> GetParameter(int id) const;
  bool SetParameter(int id, ParameterValue value);
  void SetLimitSwitch(LimitSwitch which, bool pressed);
  bool SetBusVoltage(double volts);
  bool SetMotorModel(const MotorModel& model);
  void AttachMechanism(std::shared_ptr<Mechanism> mechanism);
  std::shared_ptr<Mechanism> GetMechanism() const;
  void SetFirmware(uint32_t version, bool debugBuild);
  bool SetClosedLoopQuantity(int controlType, ClosedLoopQuantity quantity);
  void SetFaultBits(uint16_t bits);
  void SetBusFaults(const BusFaults& faults);
  void PowerCycle();

 private:
  struct QueuedFrame {
    uint64_t timestampUs;
    uint32_t messageId;
    zem::wire::Payload data;
    uint8_t length;
  };
  // The switches and fault bits a test sets, and the faults seen since they were cleared.
  struct FaultInputs {
    bool forwardPressed = false;
    bool reversePressed = false;
    uint16_t injected = 0;
    uint16_t sticky = 0;
    uint16_t Word() const;
  };

  // Frames (lock held).
  void Queue(const Frame& f);
  void Apply(const Frame& f);
  void ApplyQueuedBefore(uint64_t tickUs);
  void ApplyCommand(const Frame& f, int32_t apiId);
  bool ApplyDeviceCommand(const Frame& f, int32_t apiId);
  void ApplyPeriod(const Frame& f, int frameIndex);
  void ApplyFollow(const Frame& f);
  void ApplyFactoryDefaults(const Frame& f);
  void ApplyParameterWrite(const Frame& f, int parameterId);
  void ApplyStateOverwrite(const Frame& f, int32_t apiId);

  // Simulated time (lock held).
  void Tick(uint64_t nowUs, Outbox* out);
  uint64_t FirstTickFrom(uint64_t timeUs) const;
  void SendDueStatusFrames(uint64_t nowUs, Outbox* out);
  zem::wire::Payload StatusPayload(int frameIndex) const;

  const int device_;
  const CommandTiming timing_;
  mutable std::mutex mutex_;
  Responder responder_;
  ParameterStore params_;  // what the control step runs with
  ClosedLoopQuantities quantities_ = kDefaultQuantities;
  FaultInputs faults_;
  CommandCounts counts_;
  ControlLaw law_;
  Drive drive_;
  FrameSchedule schedule_;
  std::vector<QueuedFrame> inbox_;  // kAtNextTick: received, not applied yet
  uint64_t nextTickUs_ = kTickUs;
};

}  // namespace tavrix::sim::detail
