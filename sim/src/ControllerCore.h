// The state and behaviour of one simulated controller, apart from the bus and
// the thread: it turns received frames and the passing of simulated time into
// state changes and outgoing frames. Every public member is thread-safe; the
// frames to put on the bus are returned to the caller, who delivers them after
// the lock is released (a delivery calls other devices' handlers).
//
// A robot frame is taken in two parts: the answer (a reply to a request, and
// the parameter store as the robot sees it, so that a read after a write reads
// the write) at once, on the sending thread; its effect on the control step
// either at once too (kOnReceipt) or at the next tick, in the order of the
// frames' time stamps (kAtNextTick: for platforms whose threads due at one
// instant run in parallel, so that a tick at time t sees exactly the frames
// sent before t).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "ClosedLoop.h"
#include "MotorPhysics.h"
#include "ParameterStore.h"
#include "physics/MechanismImpl.h"
#include "tavrix/Wire.h"
#include "tavrix/sim/SimController.h"

namespace tavrix::sim::detail {

struct OutFrame {
  uint32_t id = 0;
  std::array<uint8_t, 8> data{};
  uint8_t length = 0;
};
using Outbox = std::vector<OutFrame>;

struct Frame {
  uint64_t timestampUs = 0;
  uint32_t messageId = 0;
  const uint8_t* data = nullptr;
  uint8_t length = 0;
};

class ControllerCore {
 public:
  static constexpr uint64_t kTickUs = 1000;
  static constexpr int kStatusFrameCount = 3;
  enum class CommandTiming { kOnReceipt, kAtNextTick };

  ControllerCore(int deviceNumber, const SimOptions& options,
                 CommandTiming timing = CommandTiming::kOnReceipt);
  ~ControllerCore();
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
  struct PendingReply {
    uint64_t dueUs;
    OutFrame frame;
  };
  struct Heartbeat {
    bool seen = false;
    bool hasOurBit = false;
    uint64_t timeUs = 0;
  };
  struct Following {
    bool active = false;
    uint32_t leaderFrameId = 0;
    bool invert = false;
    bool decodable = false;  // the leader kind's frame is a status frame 0 we can read
    bool leaderSeen = false;
    uint64_t leaderTimeUs = 0;
    double leaderOutput = 0.0;
  };
  struct Profile {
    bool active = false;
    double target = 0.0;
    ProfilePoint point;
  };
  struct QueuedFrame {
    uint64_t timestampUs;
    uint32_t messageId;
    zem::wire::Payload data;
    uint8_t length;
  };
  struct RotorInput {
    bool given = false;
    double rotations = 0.0;
    double rpm = 0.0;
  };
  struct PendingRotor {
    bool pending = false;
    uint64_t sinceUs = 0;
    RotorInput input;
  };

  // Frame handling (lock held).
  bool Answer(const Frame& f, int32_t apiId, Outbox* out);
  void Apply(const Frame& f);
  void ApplyQueuedBefore(uint64_t tickUs);
  void HandleHeartbeat(const Frame& f);
  void HandleCommand(const Frame& f, int32_t apiId);
  void HandleSetpoint(const Frame& f, int32_t apiId);
  void HandlePeriodCommand(const Frame& f, int frameIndex);
  void HandleFollower(const Frame& f);
  void HandleFactoryDefaults(const Frame& f);
  void HandleFirmwareRequest(const Frame& f, Outbox* out);
  void HandleParameterRead(const Frame& f, int parameterId, Outbox* out);
  void HandleParameterWrite(const Frame& f, int parameterId);
  void HandleStateOverwrite(const Frame& f, int32_t apiId);
  void Reply(uint64_t timeUs, int32_t apiId, const uint8_t* data, int length, Outbox* out);

  // Simulation (lock held).
  void Tick(uint64_t nowUs, Outbox* out);
  bool OutputsEnabled(uint64_t nowUs) const;
  double TargetOutput(uint64_t nowUs);
  double ClosedLoopOutput(ClosedLoopQuantity quantity);
  double ProfiledOutput();
  ProfileLimits ProfileLimitsOfSlot(int slot) const;
  double VelocityUnits() const;
  SlotGains GainsOfSlot(int slot) const;
  double Ramp(double target, int rateParameterId) const;
  double ApplyLimitSwitches(double output) const;
  void StepModel(double output, uint64_t nowUs);
  void StepGivenRotor(const DcMotor& motor, double output, uint64_t nowUs);
  MotorInput DriveOf(const DcMotor& motor, double output);
  void TrackEncoder(double motorRotations);
  void UseMechanism(std::shared_ptr<Mechanism> mechanism);
  void SendDueStatusFrames(uint64_t nowUs, Outbox* out);
  void DeliverDueReplies(uint64_t nowUs, Outbox* out);
  zem::wire::Payload StatusPayload(int frameIndex) const;
  double DriveVolts(double output) const;
  double CurrentLimitA() const;
  bool SecondaryLimitTripped() const;
  double ConversionFactor(int id) const;
  bool ParameterFlag(int id) const;
  uint16_t FaultWord() const;
  void ResetRuntimeState();

  const int device_;
  const CommandTiming timing_;
  mutable std::mutex mutex_;
  uint32_t firmwareVersion_;
  bool debugBuild_;
  MotorModel model_;
  std::optional<double> fixedBusVoltage_;  // empty: the battery's
  double busVoltage_;
  std::shared_ptr<Mechanism> ownLoad_;
  std::shared_ptr<Mechanism> mechanism_;
  int motorSlot_ = -1;
  ParameterStore params_;  // what the control step runs with
  ParameterStore
      robotParams_;  // what requests are answered from: params_ and the writes not applied yet
  ParameterStore burned_;
  std::vector<QueuedFrame> inbox_;  // kAtNextTick: received, not applied yet
  std::array<ClosedLoopQuantity, 7> quantities_{};
  BusFaults busFaults_;
  uint16_t injectedFaults_ = 0;
  bool forwardPressed_ = false;
  bool reversePressed_ = false;

  uint64_t nextTickUs_ = kTickUs;
  std::array<int32_t, kStatusFrameCount> periodsMs_{};
  std::array<uint64_t, kStatusFrameCount> nextStatusUs_{};
  std::vector<PendingReply> pending_;
  Heartbeat heartbeat_;
  Following following_;
  LastSetpoint setpoint_;
  LoopState loop_;
  MotorState motor_;
  Profile profile_;
  bool encoderTracking_ = false;  // lastMotorRotations_ holds a reading
  double lastMotorRotations_ = 0.0;
  int chopTicksLeft_ = 0;  // the secondary limit holds the output off this long
  double output_ = 0.0;    // after ramps and limit switches, before current limiting
  double appliedOutput_ = 0.0;
  double position_ = 0.0;
  uint16_t stickyFaults_ = 0;
  bool enabled_ = false;
  CommandCounts counts_;
  RotorInput rotor_;
  PendingRotor pendingRotor_;
  uint64_t lastTickUs_ = 0;
  double voltsBeforeLastTick_ = 0.0;
};

}  // namespace tavrix::sim::detail
