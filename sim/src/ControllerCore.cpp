// The coordinator of one simulated controller: the lock, the order in which
// frames and ticks reach the parts, and the status frames' content.
#include "ControllerCore.h"

#include <algorithm>
#include <cmath>

#include "hal/CAN.h"
#include "tavrix/sim/ParameterIds.h"

namespace tavrix::sim::detail {
namespace {

namespace wire = zem::wire;
namespace api = zem::wire::api;

constexpr uint32_t kArbitrationMask = 0x1FFFFFFFu;
constexpr uint32_t kNotDataFrame = HAL_CAN_IS_FRAME_REMOTE | HAL_CAN_IS_FRAME_11BIT;
// Robot frames waiting for the next tick (kAtNextTick) at most; a tick takes a few.
constexpr size_t kMaxQueuedFrames = 4096;
// A real-time run that stalled longer than this skips the backlog instead of replaying it.
constexpr uint64_t kMaxCatchUpTicks = 100;
// Ticks with nothing to show run at once at the next event, but at most this many
// (so that the platform's device list and the inbox stay fresh).
constexpr uint64_t kMaxIdleTicks = 20;
constexpr std::array<int32_t, FrameSchedule::kStatusFrameCount> kStatusApiIds = {
    api::kStatus0, api::kStatus1, api::kStatus2};
// Every fault bit below the two limit-switch bits, which the switches own.
constexpr uint16_t kInjectableFaultMask = (1u << wire::kForwardLimitFaultBit) - 1u;
constexpr uint32_t kTemperatureByteMax = 255;

}  // namespace

uint16_t ControllerCore::FaultInputs::Word() const {
  uint32_t word = injected & kInjectableFaultMask;
  if (forwardPressed) word |= 1u << SimController::kForwardLimitFaultBit;
  if (reversePressed) word |= 1u << SimController::kReverseLimitFaultBit;
  return static_cast<uint16_t>(word);
}

ControllerCore::ControllerCore(int deviceNumber, const SimOptions& options, CommandTiming timing)
    : device_(deviceNumber),
      timing_(timing),
      responder_(deviceNumber, options.firmwareVersion, options.debugBuild),
      drive_(options),
      schedule_(0) {}

// ---------------------------------------------------------------------------
// Frames
// ---------------------------------------------------------------------------

void ControllerCore::OnRobotFrame(const Frame& f, Outbox* out) {
  const uint32_t id = f.messageId & kArbitrationMask;
  if ((f.messageId & kNotDataFrame) != 0 || !wire::IsControllerId(id)) return;
  const bool heartbeat = id == wire::kHeartbeatId;
  if (!heartbeat && wire::DeviceOf(id) != device_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!heartbeat) {
    const Responder::Answer answer = responder_.OnRequest(f, wire::ApiOf(id), &counts_);
    if (answer.reply) out->push_back(*answer.reply);
    if (answer.handled) return;
  }
  if (timing_ == CommandTiming::kOnReceipt) {
    Apply(f);
  } else {
    Queue(f);
  }
}

void ControllerCore::Queue(const Frame& f) {
  // A robot that sends without time moving (paused, never stepped) must not
  // grow the queue without end: the oldest frame then takes effect at once.
  if (inbox_.size() >= kMaxQueuedFrames) {
    const QueuedFrame& oldest = inbox_.front();
    Apply(Frame{oldest.timestampUs, oldest.messageId, oldest.data.data(), oldest.length});
    inbox_.erase(inbox_.begin());
  }
  const wire::Payload payload = wire::PadPayload(f.data, f.length);
  inbox_.push_back(QueuedFrame{f.timestampUs, f.messageId, payload, f.length});
}

void ControllerCore::Apply(const Frame& f) {
  const uint32_t id = f.messageId & kArbitrationMask;
  if (id == wire::kHeartbeatId) {
    ++counts_.heartbeats;
    law_.OnHeartbeat(f, device_);
  } else {
    ApplyCommand(f, wire::ApiOf(id));
  }
}

// Frames sent at one instant from different threads touch different state (the
// heartbeat, the setpoints, the robot's own commands), so their order of
// arrival within one time stamp does not change the outcome.
void ControllerCore::ApplyQueuedBefore(uint64_t tickUs) {
  if (inbox_.empty()) return;
  std::stable_sort(inbox_.begin(), inbox_.end(), [](const QueuedFrame& a, const QueuedFrame& b) {
    return a.timestampUs < b.timestampUs;
  });
  size_t applied = 0;
  for (; applied < inbox_.size() && inbox_[applied].timestampUs < tickUs; ++applied) {
    const QueuedFrame& q = inbox_[applied];
    Apply(Frame{q.timestampUs, q.messageId, q.data.data(), q.length});
  }
  inbox_.erase(inbox_.begin(), inbox_.begin() + static_cast<std::ptrdiff_t>(applied));
}

void ControllerCore::ApplyCommand(const Frame& f, int32_t apiId) {
  if (wire::IsSetpointSenderApi(apiId)) {
    law_.OnSetpoint(f, apiId);
    ++counts_.setpoints;
  } else if (wire::IsParameterApi(apiId)) {
    ApplyParameterWrite(f, wire::ParameterIdOf(apiId));
  } else if (!ApplyDeviceCommand(f, apiId)) {
    ++counts_.rejected;
  }
}

// False for an API id this controller does not act on.
bool ControllerCore::ApplyDeviceCommand(const Frame& f, int32_t apiId) {
  switch (apiId) {
    case api::kStatus0: ApplyPeriod(f, 0); return true;
    case api::kStatus1: ApplyPeriod(f, 1); return true;
    case api::kStatus2: ApplyPeriod(f, 2); return true;
    case api::kClearFaults:
      ++counts_.clearFaults;
      faults_.sticky = 0;
      return true;
    case api::kBurnFlash:
      if (!wire::IsBurnFlashCommand(f.data, f.length)) return false;
      ++counts_.burnFlashes;  // the burned store changed on receipt (Responder)
      return true;
    case api::kFollower: ApplyFollow(f); return true;
    case api::kFactoryDefaults: ApplyFactoryDefaults(f); return true;
    case api::kSetEncoderPosition:
    case api::kSetIAccum: ApplyStateOverwrite(f, apiId); return true;
    default: return false;
  }
}

void ControllerCore::ApplyPeriod(const Frame& f, int frameIndex) {
  if (f.length < wire::kPeriodCommandLength) {
    ++counts_.rejected;
    return;
  }
  schedule_.SetPeriod(frameIndex, wire::DecodePeriodCommand(f.data, f.length), f.timestampUs);
  ++counts_.periodCommands;
}

// The echo went out on receipt (Responder).
void ControllerCore::ApplyFollow(const Frame& f) {
  if (f.length < wire::kPayloadLength) {
    ++counts_.rejected;
    return;
  }
  ++counts_.followerCommands;
  law_.OnFollow(wire::DecodeFollow(f.data, f.length));
}

void ControllerCore::ApplyFactoryDefaults(const Frame& f) {
  if (f.length < wire::kValueFrameLength) {
    ++counts_.rejected;
    return;
  }
  ++counts_.factoryDefaults;
  params_.RestoreDefaults();  // and the robot's and burned stores on receipt (Responder)
}

void ControllerCore::ApplyParameterWrite(const Frame& f, int parameterId) {
  if (f.length < wire::kValueFrameLength) {
    ++counts_.rejected;
    return;
  }
  const wire::ValueFrame v = wire::DecodeValueFrame(f.data, f.length);
  if (params_.Set(parameterId, ParameterValue{v.word, v.type})) {
    ++counts_.parameterWrites;
  } else {
    ++counts_.rejected;
  }
}

void ControllerCore::ApplyStateOverwrite(const Frame& f, int32_t apiId) {
  double value = 0.0;
  const wire::ValueFrame v = wire::DecodeValueFrame(f.data, f.length);
  if (f.length < wire::kValueFrameLength || !wire::ValueWordToDouble(v.word, v.type, &value) ||
      !std::isfinite(value)) {
    ++counts_.rejected;  // a NaN would stick in the position or the loop for good
    return;
  }
  if (apiId == api::kSetEncoderPosition) {
    drive_.SetPosition(value);
    ++counts_.encoderPositionSets;
  } else {
    law_.SetIAccum(value);
    ++counts_.iAccumSets;
  }
}

void ControllerCore::OnDeviceFrame(const Frame& f) {
  if ((f.messageId & kNotDataFrame) != 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  law_.OnDeviceFrame(f);
}

// ---------------------------------------------------------------------------
// Simulated time
// ---------------------------------------------------------------------------

uint64_t ControllerCore::StartClock(uint64_t nowUs) {
  std::lock_guard<std::mutex> lock(mutex_);
  nextTickUs_ = nowUs + kTickUs;
  schedule_.Restart(nowUs);
  return nextTickUs_;
}

uint64_t ControllerCore::Advance(uint64_t nowUs, Outbox* out) {
  std::lock_guard<std::mutex> lock(mutex_);
  uint64_t ticks = 0;
  while (nextTickUs_ <= nowUs && ticks < kMaxCatchUpTicks) {
    ApplyQueuedBefore(nextTickUs_);
    Tick(nextTickUs_, out);
    nextTickUs_ += kTickUs;
    ++ticks;
  }
  if (nextTickUs_ <= nowUs) nextTickUs_ = nowUs + kTickUs;
  return nextTickUs_;
}

uint64_t ControllerCore::NextTickUs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return nextTickUs_;
}

uint64_t ControllerCore::NextEventUs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  uint64_t dueUs = std::min(schedule_.NextDueUs(), nextTickUs_ + kMaxIdleTicks * kTickUs);
  // A received frame takes effect at the first tick after its time stamp.
  for (const QueuedFrame& q : inbox_) dueUs = std::min(dueUs, q.timestampUs + 1);
  return FirstTickFrom(dueUs);
}

uint64_t ControllerCore::FirstTickFrom(uint64_t timeUs) const {
  if (timeUs <= nextTickUs_) return nextTickUs_;
  return nextTickUs_ + (timeUs - nextTickUs_ + kTickUs - 1) / kTickUs * kTickUs;
}

void ControllerCore::Tick(uint64_t nowUs, Outbox* out) {
  drive_.BeginTick(nowUs);
  const LawInputs in{params_,
                     quantities_,
                     drive_.Position(),
                     drive_.Velocity(params_),
                     faults_.forwardPressed,
                     faults_.reversePressed};
  drive_.Step(law_.Step(nowUs, in), nowUs, params_);
  faults_.sticky = static_cast<uint16_t>(faults_.sticky | faults_.Word());
  SendDueStatusFrames(nowUs, out);
}

void ControllerCore::SendDueStatusFrames(uint64_t nowUs, Outbox* out) {
  const unsigned due = schedule_.TakeDueStatus(nowUs);
  if (due == 0 || responder_.Faults().statusFramesStopped) return;
  for (int i = 0; i < FrameSchedule::kStatusFrameCount; ++i) {
    if ((due & (1u << i)) == 0) continue;
    const wire::Payload p = StatusPayload(i);
    out->push_back(MakeFrame(wire::ComposeId(device_, kStatusApiIds[static_cast<size_t>(i)]),
                             p.data(), static_cast<int>(p.size())));
  }
}

wire::Payload ControllerCore::StatusPayload(int frameIndex) const {
  const MotorState& motor = drive_.Motor();
  switch (frameIndex) {
    case 0:
      return wire::EncodeStatus0(drive_.AppliedOutput(), faults_.Word(), faults_.sticky,
                                 law_.IsFollower());
    case 1: {
      const auto temperature =
          static_cast<uint8_t>(wire::ScaleToUnsigned(motor.temperatureC, 1.0, kTemperatureByteMax));
      return wire::EncodeStatus1(wire::ToFloatSaturating(drive_.Velocity(params_)), temperature,
                                 drive_.BusVoltage(), std::fabs(motor.currentA));
    }
    default:
      return wire::EncodeStatus2(wire::ToFloatSaturating(drive_.Position()),
                                 wire::ToFloatSaturating(law_.IAccum()));
  }
}

// ---------------------------------------------------------------------------
// Test and user access
// ---------------------------------------------------------------------------

bool ControllerCore::SetRotorState(double rotations, double rpm, uint64_t nowUs) {
  if (!std::isfinite(rotations) || !std::isfinite(rpm)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  drive_.GiveRotorState(rotations, rpm, nowUs);
  return true;
}

void ControllerCore::ReleaseRotorState(uint64_t nowUs) {
  std::lock_guard<std::mutex> lock(mutex_);
  drive_.ReleaseRotorState(nowUs);
}

double ControllerCore::MotorVoltageBefore(uint64_t nowUs) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return drive_.MotorVoltageBefore(nowUs);
}

SimState ControllerCore::State() const {
  std::lock_guard<std::mutex> lock(mutex_);
  const MotorState& motor = drive_.Motor();
  SimState s;
  s.appliedOutput = drive_.AppliedOutput();
  s.velocity = drive_.Velocity(params_);
  s.position = drive_.Position();
  s.outputCurrent = std::fabs(motor.currentA);
  s.motorVoltage = motor.appliedVolts;
  s.temperatureC = motor.temperatureC;
  s.busVoltage = drive_.BusVoltage();
  s.iAccum = law_.IAccum();
  s.faults = faults_.Word();
  s.stickyFaults = faults_.sticky;
  s.isFollower = law_.IsFollower();
  s.outputsEnabled = law_.OutputsEnabled();
  const FrameSchedule::Periods& periods = schedule_.PeriodsMs();
  for (size_t i = 0; i < periods.size(); ++i) s.statusPeriodMs[i] = periods[i];
  s.lastSetpoint = law_.Setpoint();
  s.counts = counts_;
  return s;
}

std::optional<ParameterValue> ControllerCore::GetParameter(int id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return responder_.RobotStore().Get(id);
}

bool ControllerCore::SetParameter(int id, ParameterValue value) {
  std::lock_guard<std::mutex> lock(mutex_);
  responder_.RobotStore().Set(id, value);
  return params_.Set(id, value);
}

void ControllerCore::SetLimitSwitch(LimitSwitch which, bool pressed) {
  std::lock_guard<std::mutex> lock(mutex_);
  (which == LimitSwitch::kForward ? faults_.forwardPressed : faults_.reversePressed) = pressed;
}

bool ControllerCore::SetBusVoltage(double volts) {
  if (!std::isfinite(volts) || volts < 0.0) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  drive_.SetBusVoltage(volts);
  return true;
}

bool ControllerCore::SetMotorModel(const MotorModel& model) {
  std::lock_guard<std::mutex> lock(mutex_);
  return drive_.SetMotorModel(model);
}

void ControllerCore::AttachMechanism(std::shared_ptr<Mechanism> mechanism) {
  std::lock_guard<std::mutex> lock(mutex_);
  drive_.AttachMechanism(std::move(mechanism));
}

std::shared_ptr<Mechanism> ControllerCore::GetMechanism() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return drive_.GetMechanism();
}

void ControllerCore::SetFirmware(uint32_t version, bool debugBuild) {
  std::lock_guard<std::mutex> lock(mutex_);
  responder_.SetFirmware(version, debugBuild);
}

bool ControllerCore::SetClosedLoopQuantity(int controlType, ClosedLoopQuantity quantity) {
  if (controlType < 1 || controlType > kLastControlType) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  quantities_[static_cast<size_t>(controlType)] = quantity;
  return true;
}

void ControllerCore::SetFaultBits(uint16_t bits) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.injected = static_cast<uint16_t>(bits & kInjectableFaultMask);
}

void ControllerCore::SetBusFaults(const BusFaults& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  responder_.SetBusFaults(faults);
}

// A reboot: the burned parameters, and fresh runtime parts from the last tick on.
void ControllerCore::PowerCycle() {
  std::lock_guard<std::mutex> lock(mutex_);
  params_ = responder_.PowerCycle();
  inbox_.clear();
  law_ = ControlLaw();
  drive_.PowerCycle();
  faults_.sticky = 0;
  schedule_ = FrameSchedule(nextTickUs_ - kTickUs);
}

}  // namespace tavrix::sim::detail
