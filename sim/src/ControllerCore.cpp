// Behaviour of one simulated controller: command handling, the once-a-millisecond
// control step (heartbeat watchdog, setpoint or leader output, ramps, limit
// switches, motor model) and the periodic status frames.
#include "ControllerCore.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "hal/CAN.h"
#include "physics/Battery.h"
#include "tavrix/Wire.h"
#include "tavrix/sim/ParameterIds.h"

namespace tavrix::sim::detail {
namespace {

namespace wire = zem::wire;
namespace api = zem::wire::api;

constexpr uint32_t kArbitrationMask = 0x1FFFFFFFu;
constexpr uint32_t kNotDataFrame = HAL_CAN_IS_FRAME_REMOTE | HAL_CAN_IS_FRAME_11BIT;
constexpr double kTickSeconds = 1.0e-3;
constexpr double kSecondsPerMinute = 60.0;
constexpr double kTwoPi = 6.283185307179586;
constexpr uint64_t kUsPerMs = 1000;
// A follower stops driving when its leader's frames stop for this long.
constexpr uint64_t kLeaderTimeoutUs = 100000;
// Robot frames waiting for the next tick (kAtNextTick) at most; a tick takes a few.
constexpr size_t kMaxQueuedFrames = 4096;
// A real-time run that stalled longer than this skips the backlog instead of replaying it.
constexpr uint64_t kMaxCatchUpTicks = 100;
constexpr std::array<int32_t, ControllerCore::kStatusFrameCount> kDefaultPeriodsMs = {
    wire::kDefaultStatus0PeriodMs, wire::kDefaultStatus1PeriodMs, wire::kDefaultStatus2PeriodMs};
constexpr std::array<int32_t, ControllerCore::kStatusFrameCount> kStatusApiIds = {
    api::kStatus0, api::kStatus1, api::kStatus2};
constexpr int kLastControlType = 6;
// What each control type regulates until SetClosedLoopQuantity says otherwise
// (see ClosedLoopQuantity); type 0 is duty cycle and never consults this.
constexpr std::array<ClosedLoopQuantity, kLastControlType + 1> kDefaultQuantities = {
    ClosedLoopQuantity::kNone,
    ClosedLoopQuantity::kVelocity,
    ClosedLoopQuantity::kVelocity,
    ClosedLoopQuantity::kPosition,
    ClosedLoopQuantity::kProfiledPosition,
    ClosedLoopQuantity::kPosition,
    ClosedLoopQuantity::kVelocity};
// Every fault bit below the two limit-switch bits, which the switches own.
constexpr uint16_t kInjectableFaultMask = (1u << wire::kForwardLimitFaultBit) - 1u;
constexpr uint32_t kTemperatureByteMax = 255;

OutFrame MakeFrame(uint32_t id, const uint8_t* data, int length) {
  OutFrame f;
  f.id = id;
  f.data = wire::PadPayload(data, length);
  f.length = static_cast<uint8_t>(std::clamp(length, 0, wire::kPayloadLength));
  return f;
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
  return b > std::numeric_limits<uint64_t>::max() - a ? std::numeric_limits<uint64_t>::max()
                                                      : a + b;
}

// True while `now` is less than `windowUs` after `since` (a `since` in the future counts as fresh).
bool IsFresh(uint64_t now, uint64_t since, uint64_t windowUs) {
  return now < since || now - since < windowUs;
}

bool IsValidBusVoltage(double volts) { return std::isfinite(volts) && volts >= 0.0; }

std::optional<double> ValidBusVoltage(const std::optional<double>& volts) {
  return volts && IsValidBusVoltage(*volts) ? volts : std::nullopt;
}

// The controller's own load when no mechanism is attached: a light flywheel
// on the motor shaft that, with the rotor, gives the brushless motor a
// spin-up time constant of about 50 ms.
std::shared_ptr<Mechanism> OwnLoad() {
  FlywheelParams p;
  p.momentOfInertiaKgM2 = 1.65e-4;
  return Mechanism::Flywheel(p);
}

double SanitizedDuty(float value) {
  return std::isfinite(value) ? std::clamp(static_cast<double>(value), -1.0, 1.0) : 0.0;
}

}  // namespace

ControllerCore::ControllerCore(int deviceNumber, const SimOptions& options, CommandTiming timing)
    : device_(deviceNumber),
      timing_(timing),
      firmwareVersion_(options.firmwareVersion),
      debugBuild_(options.debugBuild),
      model_(options.motor.IsValid() ? options.motor : MotorModel()),
      fixedBusVoltage_(ValidBusVoltage(options.busVoltage)),
      busVoltage_(fixedBusVoltage_.value_or(GetBatteryBusVoltage())),
      ownLoad_(OwnLoad()),
      quantities_(kDefaultQuantities),
      periodsMs_(kDefaultPeriodsMs) {
  motor_.temperatureC = model_.ambientTemperatureC;
  UseMechanism(ownLoad_);
}

ControllerCore::~ControllerCore() {
  mechanism_->Internals().RemoveMotor(motorSlot_);
  ForgetBatteryCurrent(this);
}

// ---------------------------------------------------------------------------
// Frames
// ---------------------------------------------------------------------------

void ControllerCore::OnRobotFrame(const Frame& f, Outbox* out) {
  const uint32_t id = f.messageId & kArbitrationMask;
  if ((f.messageId & kNotDataFrame) != 0 || !wire::IsControllerId(id)) return;
  const bool heartbeat = id == wire::kHeartbeatId;
  if (!heartbeat && wire::DeviceOf(id) != device_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!heartbeat && Answer(f, wire::ApiOf(id), out)) return;
  if (timing_ == CommandTiming::kOnReceipt) {
    Apply(f);
    return;
  }
  // A robot that sends without time moving (paused, never stepped) must not
  // grow the queue without end: the oldest frame then takes effect at once.
  if (inbox_.size() >= kMaxQueuedFrames) {
    const QueuedFrame& oldest = inbox_.front();
    Apply(Frame{oldest.timestampUs, oldest.messageId, oldest.data.data(), oldest.length});
    inbox_.erase(inbox_.begin());
  }
  const zem::wire::Payload payload = zem::wire::PadPayload(f.data, f.length);
  inbox_.push_back(QueuedFrame{f.timestampUs, f.messageId, payload, f.length});
}

// The part of a frame that cannot wait for the tick: replies, and the parameter
// store as the robot reads it back. True when nothing is left for the tick.
bool ControllerCore::Answer(const Frame& f, int32_t apiId, Outbox* out) {
  if (wire::IsParameterApi(apiId)) {
    const int parameterId = wire::ParameterIdOf(apiId);
    if (f.length == 0) {
      HandleParameterRead(f, parameterId, out);
      return true;
    }
    if (f.length >= wire::kValueFrameLength) {
      const wire::ValueFrame v = wire::DecodeValueFrame(f.data, f.length);
      robotParams_.Set(parameterId, ParameterValue{v.word, v.type});
    }
    return false;
  }
  switch (apiId) {
    case api::kFirmwareVersion: HandleFirmwareRequest(f, out); return true;
    case api::kFollower:
      if (f.length >= wire::kPayloadLength) {
        wire::Payload echo = wire::PadPayload(f.data, f.length);
        if (busFaults_.corruptFollowerEcho) echo[echo.size() - 1] ^= 0xFF;
        Reply(f.timestampUs, api::kFollower, echo.data(), static_cast<int>(echo.size()), out);
      }
      return false;
    case api::kFactoryDefaults:
      if (f.length >= wire::kValueFrameLength) {
        robotParams_.RestoreDefaults();
        // A set flag also makes the defaults the burned store.
        if (wire::DecodeValueFrame(f.data, f.length).word != 0) burned_ = robotParams_;
      }
      return false;
    case api::kBurnFlash:
      if (wire::IsBurnFlashCommand(f.data, f.length)) burned_ = robotParams_;
      return false;
    default: return false;
  }
}

void ControllerCore::Apply(const Frame& f) {
  const uint32_t id = f.messageId & kArbitrationMask;
  if (id == wire::kHeartbeatId) {
    HandleHeartbeat(f);
  } else {
    HandleCommand(f, wire::ApiOf(id));
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

void ControllerCore::OnDeviceFrame(const Frame& f) {
  if ((f.messageId & kNotDataFrame) != 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!following_.active || !following_.decodable) return;
  if ((f.messageId & kArbitrationMask) != following_.leaderFrameId || f.length < 2) return;
  const double leader = wire::DecodeStatus0(f.data, f.length, 1.0).appliedOutput;
  following_.leaderOutput = following_.invert ? -leader : leader;
  following_.leaderSeen = true;
  following_.leaderTimeUs = f.timestampUs;
}

void ControllerCore::HandleHeartbeat(const Frame& f) {
  ++counts_.heartbeats;
  const uint64_t word = wire::DecodeHeartbeat(f.data, f.length);
  heartbeat_.seen = true;
  heartbeat_.hasOurBit =
      device_ >= 0 && device_ <= SimController::kMaxDeviceNumber && ((word >> device_) & 1u) != 0;
  heartbeat_.timeUs = f.timestampUs;
}

void ControllerCore::HandleCommand(const Frame& f, int32_t apiId) {
  if (wire::IsSetpointSenderApi(apiId)) {
    HandleSetpoint(f, apiId);
    return;
  }
  if (wire::IsParameterApi(apiId)) {
    HandleParameterWrite(f, wire::ParameterIdOf(apiId));
    return;
  }
  switch (apiId) {
    case api::kStatus0: HandlePeriodCommand(f, 0); return;
    case api::kStatus1: HandlePeriodCommand(f, 1); return;
    case api::kStatus2: HandlePeriodCommand(f, 2); return;
    case api::kClearFaults:
      ++counts_.clearFaults;
      stickyFaults_ = 0;
      return;
    case api::kBurnFlash:
      if (!wire::IsBurnFlashCommand(f.data, f.length)) break;
      ++counts_.burnFlashes;  // the burned store changed on receipt (Answer)
      return;
    case api::kFollower: HandleFollower(f); return;
    case api::kFactoryDefaults: HandleFactoryDefaults(f); return;
    case api::kSetEncoderPosition:
    case api::kSetIAccum: HandleStateOverwrite(f, apiId); return;
    default: break;
  }
  ++counts_.rejected;
}

void ControllerCore::HandleSetpoint(const Frame& f, int32_t apiId) {
  const wire::Setpoint sp = wire::DecodeSetpoint(f.data, f.length);
  const int type = apiId == api::kSetpointNeverFilled ? 0 : wire::ControlTypeOfApi(apiId);
  // A change of mode or slot starts the loop afresh; the repeats of one setpoint do not.
  if (setpoint_.received && (type != setpoint_.controlType || sp.pidSlot != setpoint_.pidSlot)) {
    loop_ = LoopState();
    profile_ = Profile();
  }
  setpoint_ = LastSetpoint{true, apiId, type, sp.value, sp.aux, sp.pidSlot};
  ++counts_.setpoints;
}

void ControllerCore::HandlePeriodCommand(const Frame& f, int frameIndex) {
  if (f.length < wire::kPeriodCommandLength) {
    ++counts_.rejected;
    return;
  }
  const int32_t periodMs = wire::DecodePeriodCommand(f.data, f.length);
  const size_t i = static_cast<size_t>(frameIndex);
  periodsMs_[i] = periodMs;
  nextStatusUs_[i] = f.timestampUs + static_cast<uint64_t>(periodMs) * kUsPerMs;
  ++counts_.periodCommands;
}

// The echo went out on receipt (Answer).
void ControllerCore::HandleFollower(const Frame& f) {
  if (f.length < wire::kPayloadLength) {
    ++counts_.rejected;
    return;
  }
  ++counts_.followerCommands;
  const wire::Follow command = wire::DecodeFollow(f.data, f.length);
  following_ = Following();
  // Naming no leader (frame id 0) ends follower mode.
  const uint32_t leader = command.leaderFrameId & kArbitrationMask;
  if (leader != 0) {
    following_.active = true;
    following_.leaderFrameId = leader;
    following_.invert = command.Invert();
    following_.decodable = command.LeaderKind() == wire::kLeaderKindController;
  }
}

void ControllerCore::HandleFactoryDefaults(const Frame& f) {
  if (f.length < wire::kValueFrameLength) {
    ++counts_.rejected;
    return;
  }
  ++counts_.factoryDefaults;
  params_.RestoreDefaults();  // and the burned store on receipt (Answer)
}

void ControllerCore::HandleFirmwareRequest(const Frame& f, Outbox* out) {
  if (f.length != 0) {
    ++counts_.rejected;
    return;
  }
  ++counts_.firmwareRequests;
  const auto reply = wire::EncodeFirmware(firmwareVersion_, debugBuild_);
  Reply(f.timestampUs, api::kFirmwareVersion, reply.data(), static_cast<int>(reply.size()), out);
}

void ControllerCore::HandleParameterRead(const Frame& f, int parameterId, Outbox* out) {
  const std::optional<ParameterValue> value = robotParams_.Get(parameterId);
  if (!value) {
    ++counts_.rejected;  // an unknown parameter: the request goes unanswered
    return;
  }
  ++counts_.parameterReads;
  const auto reply = wire::EncodeValueFrame(value->word, value->type);
  Reply(f.timestampUs, wire::ParameterApiId(parameterId), reply.data(),
        static_cast<int>(reply.size()), out);
}

void ControllerCore::HandleParameterWrite(const Frame& f, int parameterId) {
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

void ControllerCore::HandleStateOverwrite(const Frame& f, int32_t apiId) {
  double value = 0.0;
  const wire::ValueFrame v = wire::DecodeValueFrame(f.data, f.length);
  if (f.length < wire::kValueFrameLength || !wire::ValueWordToDouble(v.word, v.type, &value) ||
      !std::isfinite(value)) {
    ++counts_.rejected;  // a NaN would stick in the position or the loop for good
    return;
  }
  if (apiId == api::kSetEncoderPosition) {
    position_ = value;
    ++counts_.encoderPositionSets;
  } else {
    loop_.iAccum = value;
    ++counts_.iAccumSets;
  }
}

void ControllerCore::Reply(uint64_t timeUs, int32_t apiId, const uint8_t* data, int length,
                           Outbox* out) {
  if (busFaults_.silent) return;
  if (busFaults_.replyLength >= 0) length = std::min(length, busFaults_.replyLength);
  const OutFrame frame = MakeFrame(wire::ComposeId(device_, apiId), data, length);
  if (busFaults_.replyDelayUs == 0) {
    out->push_back(frame);
    return;
  }
  pending_.push_back(PendingReply{SaturatingAdd(timeUs, busFaults_.replyDelayUs), frame});
}

// ---------------------------------------------------------------------------
// Simulated time
// ---------------------------------------------------------------------------

uint64_t ControllerCore::StartClock(uint64_t nowUs) {
  std::lock_guard<std::mutex> lock(mutex_);
  nextTickUs_ = nowUs + kTickUs;
  for (size_t i = 0; i < nextStatusUs_.size(); ++i) {
    nextStatusUs_[i] = nowUs + static_cast<uint64_t>(std::max(periodsMs_[i], 0)) * kUsPerMs;
  }
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

bool ControllerCore::SetRotorState(double rotations, double rpm, uint64_t nowUs) {
  if (!std::isfinite(rotations) || !std::isfinite(rpm)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  pendingRotor_ = PendingRotor{true, nowUs, RotorInput{true, rotations, rpm}};
  return true;
}

void ControllerCore::ReleaseRotorState(uint64_t nowUs) {
  std::lock_guard<std::mutex> lock(mutex_);
  pendingRotor_ = PendingRotor{true, nowUs, RotorInput{}};
}

// A caller at the instant of a tick may run before or after it (WPILib runs
// threads due together in parallel); both see the tick before.
double ControllerCore::MotorVoltageBefore(uint64_t nowUs) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastTickUs_ >= nowUs ? voltsBeforeLastTick_ : motor_.appliedVolts;
}

void ControllerCore::Tick(uint64_t nowUs, Outbox* out) {
  voltsBeforeLastTick_ = motor_.appliedVolts;
  lastTickUs_ = nowUs;
  if (pendingRotor_.pending && pendingRotor_.sinceUs < nowUs) {
    // Given, the encoder reads the given rotations; back on the built-in model
    // it counts on from where it reads.
    if (!rotor_.given && pendingRotor_.input.given) {
      position_ = 0.0;
      lastMotorRotations_ = 0.0;
      encoderTracking_ = true;
    }
    if (rotor_.given && !pendingRotor_.input.given) encoderTracking_ = false;
    rotor_ = pendingRotor_.input;
    pendingRotor_ = PendingRotor();
  }
  DeliverDueReplies(nowUs, out);
  enabled_ = OutputsEnabled(nowUs);
  if (!enabled_) profile_ = Profile();  // a move resumes from where the mechanism is
  busVoltage_ = fixedBusVoltage_.value_or(GetBatteryBusVoltage());
  output_ = enabled_ ? ApplyLimitSwitches(TargetOutput(nowUs)) : 0.0;
  StepModel(output_, nowUs);
  stickyFaults_ = static_cast<uint16_t>(stickyFaults_ | FaultWord());
  SendDueStatusFrames(nowUs, out);
}

bool ControllerCore::OutputsEnabled(uint64_t nowUs) const {
  return heartbeat_.seen && heartbeat_.hasOurBit &&
         IsFresh(nowUs, heartbeat_.timeUs, wire::kHeartbeatWatchdogUs);
}

double ControllerCore::TargetOutput(uint64_t nowUs) {
  if (following_.active) {
    const bool fresh = following_.decodable && following_.leaderSeen &&
                       IsFresh(nowUs, following_.leaderTimeUs, kLeaderTimeoutUs);
    return fresh ? std::clamp(following_.leaderOutput, -1.0, 1.0) : 0.0;
  }
  if (!setpoint_.received) return 0.0;
  if (setpoint_.controlType == 0) {
    return Ramp(SanitizedDuty(setpoint_.value), param::kOpenLoopRampRate);
  }
  const ClosedLoopQuantity quantity = quantities_[static_cast<size_t>(setpoint_.controlType)];
  if (quantity == ClosedLoopQuantity::kNone) return 0.0;
  return Ramp(ClosedLoopOutput(quantity), param::kClosedLoopRampRate);
}

double ControllerCore::ClosedLoopOutput(ClosedLoopQuantity quantity) {
  if (setpoint_.pidSlot >= param::kSlotCount) return 0.0;
  if (quantity == ClosedLoopQuantity::kProfiledPosition) return ProfiledOutput();
  const double measured = quantity == ClosedLoopQuantity::kPosition ? position_ : VelocityUnits();
  return StepClosedLoop(GainsOfSlot(setpoint_.pidSlot), static_cast<double>(setpoint_.value),
                        measured, &loop_);
}

double ControllerCore::VelocityUnits() const {
  return motor_.velocityRpm * ConversionFactor(param::kVelocityConversionFactor);
}

// The profile runs in position units per second; the slot's motion settings
// are per minute, like the velocity.
ProfileLimits ControllerCore::ProfileLimitsOfSlot(int slot) const {
  const auto perSecond = [&](int base) {
    return params_.AsDouble(param::Slot(base, slot, param::kMotionStride), 0.0) / kSecondsPerMinute;
  };
  return ProfileLimits{perSecond(param::kMotionMaxVelocity), perSecond(param::kMotionMaxAccel),
                       perSecond(param::kMotionMinOutputVelocity)};
}

// The slot's PID holds the position to the profile's current point while kFF
// carries the profile's velocity; at the end the loop rests within the
// allowed error, so that it does not hunt around the target.
double ControllerCore::ProfiledOutput() {
  const int slot = setpoint_.pidSlot;
  const double target = static_cast<double>(setpoint_.value);
  if (!profile_.active || profile_.target != target) {
    profile_ = Profile{true, target, ProfilePoint{position_, VelocityUnits() / kSecondsPerMinute}};
  }
  profile_.point = StepProfile(ProfileLimitsOfSlot(slot), target, profile_.point, kTickSeconds);
  const bool arrived = profile_.point.position == target && profile_.point.velocity == 0.0;
  const double allowed = params_.AsDouble(
      param::Slot(param::kMotionAllowedClosedLoopError, slot, param::kMotionStride), 0.0);
  if (arrived && std::fabs(target - position_) <= allowed) return 0.0;
  return StepClosedLoop(GainsOfSlot(slot), profile_.point.position, position_,
                        profile_.point.velocity * kSecondsPerMinute, &loop_);
}

SlotGains ControllerCore::GainsOfSlot(int slot) const {
  SlotGains g;
  g.kP = params_.AsDouble(param::Slot(param::kP, slot), 0.0);
  g.kI = params_.AsDouble(param::Slot(param::kI, slot), 0.0);
  g.kD = params_.AsDouble(param::Slot(param::kD, slot), 0.0);
  g.kFF = params_.AsDouble(param::Slot(param::kFF, slot), 0.0);
  g.iZone = params_.AsDouble(param::Slot(param::kIZone, slot), 0.0);
  g.iMaxAccum =
      params_.AsDouble(param::Slot(param::kIMaxAccum, slot, param::kIMaxAccumStride), 0.0);
  g.dFilter = params_.AsDouble(param::Slot(param::kDFilter, slot), 0.0);
  g.outputMin = params_.AsDouble(param::Slot(param::kOutputMin, slot), -1.0);
  g.outputMax = params_.AsDouble(param::Slot(param::kOutputMax, slot), 1.0);
  return g;
}

// The rate parameter holds the full-scale change per second (what the robot
// library writes as the reciprocal of its seconds-to-full-output); 0, a
// negative or a non-finite rate means no ramp.
double ControllerCore::Ramp(double target, int rateParameterId) const {
  const double rate = params_.AsDouble(rateParameterId, 0.0);
  if (!(rate > 0.0) || !std::isfinite(rate)) return target;
  const double maxStep = rate * kTickSeconds;
  return std::clamp(target, output_ - maxStep, output_ + maxStep);
}

double ControllerCore::ApplyLimitSwitches(double output) const {
  if (output > 0.0 && forwardPressed_ && ParameterFlag(param::kForwardLimitSwitchEnabled))
    return 0.0;
  if (output < 0.0 && reversePressed_ && ParameterFlag(param::kReverseLimitSwitchEnabled))
    return 0.0;
  return output;
}

void ControllerCore::StepModel(double output, uint64_t nowUs) {
  const DcMotor motor = MotorOf(model_, params_.AsDouble(param::kMotorType, 1.0));
  if (rotor_.given) {
    StepGivenRotor(motor, output, nowUs);
  } else {
    const Mechanism::Impl::MotorReport report =
        mechanism_->Internals().Drive(motorSlot_, DriveOf(motor, output), nowUs);
    motor_.currentA = report.result.currentA;
    motor_.appliedVolts = report.result.appliedVolts;
    motor_.velocityRpm = report.motorRpm;
    TrackEncoder(report.motorRotations);
  }
  if (chopTicksLeft_ > 0) {
    --chopTicksLeft_;
  } else if (SecondaryLimitTripped()) {
    const double cycles = params_.AsDouble(param::kSecondaryCurrentLimitArg2, 0.0);
    chopTicksLeft_ =
        std::isfinite(cycles) && cycles > 1.0 ? static_cast<int>(std::min(cycles, 1000.0)) : 1;
  }
  StepTemperature(model_, motor.ResistanceOhm(), kTickSeconds, &motor_);
  appliedOutput_ = busVoltage_ > 0.0 ? motor_.appliedVolts / busVoltage_ : output;
  // What the battery delivers: the motor's power at the bus voltage.
  ReportBatteryCurrent(
      this, busVoltage_ > 0.0 ? motor_.appliedVolts * motor_.currentA / busVoltage_ : 0.0);
}

// The rotor moves as the caller's physics says: the motor's current follows
// from the applied voltage and the given speed (and the current limit), and the
// mechanism feels no torque from this motor.
void ControllerCore::StepGivenRotor(const DcMotor& motor, double output, uint64_t nowUs) {
  const MotorInput drive = DriveOf(motor, output);
  MotorInput idle = drive;
  idle.open = true;
  mechanism_->Internals().Drive(motorSlot_, idle, nowUs);
  const double speedRadPerS = rotor_.rpm * kTwoPi / kSecondsPerMinute;
  MotorResult result;
  MotorTorqueAt(1.0, &drive, 1, speedRadPerS, &result);
  MotorResults(1.0, &drive, 1, speedRadPerS, &result);
  motor_.currentA = result.currentA;
  motor_.appliedVolts = result.appliedVolts;
  motor_.velocityRpm = rotor_.rpm;
  TrackEncoder(rotor_.rotations);
}

// With zero output (or outputs off) the idle mode decides: brake keeps the
// windings shorted (0 V), coast opens them; the secondary limit opens them
// while it chops.
MotorInput ControllerCore::DriveOf(const DcMotor& motor, double output) {
  MotorInput in;
  in.present = true;
  in.motor = motor;
  in.volts = DriveVolts(output);
  const bool brake = params_.AsDouble(param::kIdleMode, 0.0) == kIdleBrake;
  in.open = chopTicksLeft_ > 0 || (output == 0.0 && !brake);
  in.currentLimitA = CurrentLimitA();
  return in;
}

void ControllerCore::TrackEncoder(double motorRotations) {
  if (encoderTracking_) {
    position_ +=
        (motorRotations - lastMotorRotations_) * ConversionFactor(param::kPositionConversionFactor);
  }
  lastMotorRotations_ = motorRotations;
  encoderTracking_ = true;
}

void ControllerCore::UseMechanism(std::shared_ptr<Mechanism> mechanism) {
  if (mechanism_) mechanism_->Internals().RemoveMotor(motorSlot_);
  mechanism_ = std::move(mechanism);
  motorSlot_ = mechanism_->Internals().AddMotor();
  encoderTracking_ = false;
}

double ControllerCore::DriveVolts(double output) const {
  const bool compensated =
      params_.AsDouble(param::kVoltageCompensationMode, 0.0) == wire::kVoltageCompensationOn;
  const double nominal = params_.AsDouble(param::kVoltageCompensationNominalVoltage, 0.0);
  if (compensated && std::isfinite(nominal) && nominal > 0.0) {
    return std::clamp(output * nominal, -busVoltage_, busVoltage_);
  }
  return output * busVoltage_;
}

// The smart limit, which the controller regulates the current to (0: off).
double ControllerCore::CurrentLimitA() const {
  return SmartLimitA(params_.AsDouble(param::kSmartCurrentLimit, 0.0),
                     params_.AsDouble(param::kSmartCurrentLimitArg2, 0.0),
                     params_.AsDouble(param::kSmartCurrentLimitArg3, 0.0), motor_.velocityRpm);
}

// The secondary limit is a hard one: a current above it turns the output off
// for the number of ticks its second argument gives (at least one).
bool ControllerCore::SecondaryLimitTripped() const {
  const double limit = params_.AsDouble(param::kSecondaryCurrentLimit, 0.0);
  return std::isfinite(limit) && limit > 0.0 && std::fabs(motor_.currentA) > limit;
}

// A conversion factor that is not finite counts as 0, so that a bad factor
// cannot turn the position into NaN for good.
double ControllerCore::ConversionFactor(int id) const {
  const double factor = params_.AsDouble(id, 1.0);
  return std::isfinite(factor) ? factor : 0.0;
}

bool ControllerCore::ParameterFlag(int id) const { return params_.AsDouble(id, 0.0) != 0.0; }

uint16_t ControllerCore::FaultWord() const {
  uint32_t word = injectedFaults_ & kInjectableFaultMask;
  if (forwardPressed_) word |= 1u << SimController::kForwardLimitFaultBit;
  if (reversePressed_) word |= 1u << SimController::kReverseLimitFaultBit;
  return static_cast<uint16_t>(word);
}

void ControllerCore::SendDueStatusFrames(uint64_t nowUs, Outbox* out) {
  for (size_t i = 0; i < periodsMs_.size(); ++i) {
    if (periodsMs_[i] <= 0 || nowUs < nextStatusUs_[i]) continue;
    nextStatusUs_[i] = nowUs + static_cast<uint64_t>(periodsMs_[i]) * kUsPerMs;
    if (busFaults_.statusFramesStopped) continue;
    const wire::Payload p = StatusPayload(static_cast<int>(i));
    out->push_back(MakeFrame(wire::ComposeId(device_, kStatusApiIds[i]), p.data(),
                             static_cast<int>(p.size())));
  }
}

wire::Payload ControllerCore::StatusPayload(int frameIndex) const {
  switch (frameIndex) {
    case 0:
      return wire::EncodeStatus0(appliedOutput_, FaultWord(), stickyFaults_, following_.active);
    case 1: {
      const double velocity = VelocityUnits();
      const auto temperature = static_cast<uint8_t>(
          wire::ScaleToUnsigned(motor_.temperatureC, 1.0, kTemperatureByteMax));
      return wire::EncodeStatus1(wire::ToFloatSaturating(velocity), temperature, busVoltage_,
                                 std::fabs(motor_.currentA));
    }
    default:
      return wire::EncodeStatus2(wire::ToFloatSaturating(position_),
                                 wire::ToFloatSaturating(loop_.iAccum));
  }
}

void ControllerCore::DeliverDueReplies(uint64_t nowUs, Outbox* out) {
  auto due = [nowUs](const PendingReply& r) { return r.dueUs <= nowUs; };
  for (const PendingReply& r : pending_) {
    if (due(r)) out->push_back(r.frame);
  }
  pending_.erase(std::remove_if(pending_.begin(), pending_.end(), due), pending_.end());
}

// ---------------------------------------------------------------------------
// Test and user access
// ---------------------------------------------------------------------------

SimState ControllerCore::State() const {
  std::lock_guard<std::mutex> lock(mutex_);
  SimState s;
  s.appliedOutput = appliedOutput_;
  s.velocity = VelocityUnits();
  s.position = position_;
  s.outputCurrent = std::fabs(motor_.currentA);
  s.motorVoltage = motor_.appliedVolts;
  s.temperatureC = motor_.temperatureC;
  s.busVoltage = busVoltage_;
  s.iAccum = loop_.iAccum;
  s.faults = FaultWord();
  s.stickyFaults = stickyFaults_;
  s.isFollower = following_.active;
  s.outputsEnabled = enabled_;
  for (size_t i = 0; i < periodsMs_.size(); ++i) s.statusPeriodMs[i] = periodsMs_[i];
  s.lastSetpoint = setpoint_;
  s.counts = counts_;
  return s;
}

std::optional<ParameterValue> ControllerCore::GetParameter(int id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return robotParams_.Get(id);
}

bool ControllerCore::SetParameter(int id, ParameterValue value) {
  std::lock_guard<std::mutex> lock(mutex_);
  robotParams_.Set(id, value);
  return params_.Set(id, value);
}

void ControllerCore::SetLimitSwitch(LimitSwitch which, bool pressed) {
  std::lock_guard<std::mutex> lock(mutex_);
  (which == LimitSwitch::kForward ? forwardPressed_ : reversePressed_) = pressed;
}

bool ControllerCore::SetBusVoltage(double volts) {
  if (!IsValidBusVoltage(volts)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  fixedBusVoltage_ = volts;
  busVoltage_ = volts;
  return true;
}

bool ControllerCore::SetMotorModel(const MotorModel& model) {
  if (!model.IsValid()) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  model_ = model;
  return true;
}

void ControllerCore::AttachMechanism(std::shared_ptr<Mechanism> mechanism) {
  std::lock_guard<std::mutex> lock(mutex_);
  UseMechanism(mechanism ? std::move(mechanism) : ownLoad_);
}

std::shared_ptr<Mechanism> ControllerCore::GetMechanism() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return mechanism_;
}

void ControllerCore::SetFirmware(uint32_t version, bool debugBuild) {
  std::lock_guard<std::mutex> lock(mutex_);
  firmwareVersion_ = version;
  debugBuild_ = debugBuild;
}

bool ControllerCore::SetClosedLoopQuantity(int controlType, ClosedLoopQuantity quantity) {
  if (controlType < 1 || controlType > kLastControlType) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  quantities_[static_cast<size_t>(controlType)] = quantity;
  return true;
}

void ControllerCore::SetFaultBits(uint16_t bits) {
  std::lock_guard<std::mutex> lock(mutex_);
  injectedFaults_ = static_cast<uint16_t>(bits & kInjectableFaultMask);
}

void ControllerCore::SetBusFaults(const BusFaults& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  busFaults_ = faults;
}

void ControllerCore::PowerCycle() {
  std::lock_guard<std::mutex> lock(mutex_);
  params_ = burned_;
  robotParams_ = burned_;
  ResetRuntimeState();
}

void ControllerCore::ResetRuntimeState() {
  const uint64_t nowUs = nextTickUs_ - kTickUs;
  pending_.clear();
  inbox_.clear();
  heartbeat_ = Heartbeat();
  following_ = Following();
  setpoint_ = LastSetpoint();
  loop_ = LoopState();
  profile_ = Profile();
  chopTicksLeft_ = 0;
  // The controller's own load stops with it; a shared mechanism goes on.
  if (mechanism_ == ownLoad_) ownLoad_->SetState(MechanismState());
  const double temperature = motor_.temperatureC;  // the motor does not cool by a reboot
  motor_ = MotorState();
  motor_.temperatureC = temperature;
  output_ = 0.0;
  appliedOutput_ = 0.0;
  position_ = 0.0;
  stickyFaults_ = 0;
  enabled_ = false;
  periodsMs_ = kDefaultPeriodsMs;
  for (size_t i = 0; i < periodsMs_.size(); ++i) {
    nextStatusUs_[i] = nowUs + static_cast<uint64_t>(periodsMs_[i]) * kUsPerMs;
  }
}

}  // namespace tavrix::sim::detail
