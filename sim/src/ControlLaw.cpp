#include "ControlLaw.h"

#include <algorithm>
#include <cmath>

#include "tavrix/sim/ParameterIds.h"

namespace tavrix::sim::detail {
namespace {

namespace wire = zem::wire;
namespace api = zem::wire::api;

constexpr uint32_t kArbitrationMask = 0x1FFFFFFFu;
constexpr double kTickSeconds = 1.0e-3;
constexpr double kSecondsPerMinute = 60.0;
// A follower stops driving when its leader's frames stop for this long.
constexpr uint64_t kLeaderTimeoutUs = 100000;

// True while `now` is less than `windowUs` after `since` (a `since` in the future counts as fresh).
bool IsFresh(uint64_t now, uint64_t since, uint64_t windowUs) {
  return now < since || now - since < windowUs;
}

double SanitizedDuty(float value) {
  return std::isfinite(value) ? std::clamp(static_cast<double>(value), -1.0, 1.0) : 0.0;
}

// A per-slot setting, its slot's id from the catalogue's layout of the family.
template <int Slot0Id>
double SlotSetting(const ParameterStore& params, int slot, double fallback) {
  constexpr zem::wire::SlotLayout kLayout = zem::wire::SlotLayoutOf(Slot0Id);
  return params.AsDouble(kLayout.Id(slot), fallback);
}

SlotGains GainsOfSlot(const ParameterStore& params, int slot) {
  SlotGains g;
  g.kP = SlotSetting<param::kP>(params, slot, 0.0);
  g.kI = SlotSetting<param::kI>(params, slot, 0.0);
  g.kD = SlotSetting<param::kD>(params, slot, 0.0);
  g.kFF = SlotSetting<param::kFF>(params, slot, 0.0);
  g.iZone = SlotSetting<param::kIZone>(params, slot, 0.0);
  g.iMaxAccum = SlotSetting<param::kIMaxAccum>(params, slot, 0.0);
  g.dFilter = SlotSetting<param::kDFilter>(params, slot, 0.0);
  g.outputMin = SlotSetting<param::kOutputMin>(params, slot, -1.0);
  g.outputMax = SlotSetting<param::kOutputMax>(params, slot, 1.0);
  return g;
}

// The profile runs in position units per second; the slot's motion settings
// are per minute, like the velocity.
ProfileLimits ProfileLimitsOfSlot(const ParameterStore& params, int slot) {
  return ProfileLimits{
      SlotSetting<param::kSmartMotionMaxVelocity>(params, slot, 0.0) / kSecondsPerMinute,
      SlotSetting<param::kSmartMotionMaxAccel>(params, slot, 0.0) / kSecondsPerMinute,
      SlotSetting<param::kSmartMotionMinOutputVelocity>(params, slot, 0.0) / kSecondsPerMinute};
}

double ApplyLimitSwitches(double output, const LawInputs& in) {
  const auto enabled = [&](int id) { return in.params.AsDouble(id, 0.0) != 0.0; };
  if (output > 0.0 && in.forwardPressed && enabled(param::kForwardLimitSwitchEnabled)) return 0.0;
  if (output < 0.0 && in.reversePressed && enabled(param::kReverseLimitSwitchEnabled)) return 0.0;
  return output;
}

}  // namespace

const ClosedLoopQuantities kDefaultQuantities = {ClosedLoopQuantity::kNone,
                                                 ClosedLoopQuantity::kVelocity,
                                                 ClosedLoopQuantity::kVelocity,
                                                 ClosedLoopQuantity::kPosition,
                                                 ClosedLoopQuantity::kProfiledPosition,
                                                 ClosedLoopQuantity::kPosition,
                                                 ClosedLoopQuantity::kVelocity};

void ControlLaw::OnHeartbeat(const Frame& f, int device) {
  const uint64_t word = wire::DecodeHeartbeat(f.data, f.length);
  heartbeat_.seen = true;
  heartbeat_.hasOurBit =
      device >= 0 && device <= SimController::kMaxDeviceNumber && ((word >> device) & 1u) != 0;
  heartbeat_.timeUs = f.timestampUs;
}

void ControlLaw::OnSetpoint(const Frame& f, int32_t apiId) {
  const wire::Setpoint sp = wire::DecodeSetpoint(f.data, f.length);
  const int type = apiId == api::kSetpointNeverFilled ? 0 : wire::ControlTypeOfApi(apiId);
  // A change of mode or slot starts the loop afresh; the repeats of one setpoint do not.
  if (setpoint_.received && (type != setpoint_.controlType || sp.pidSlot != setpoint_.pidSlot)) {
    loop_ = LoopState();
    profile_ = Profile();
  }
  setpoint_ = LastSetpoint{true, apiId, type, sp.value, sp.aux, sp.pidSlot};
}

void ControlLaw::OnFollow(const wire::Follow& command) {
  following_ = Following();
  // Naming no leader (frame id 0) ends follower mode.
  const uint32_t leader = command.leaderFrameId & kArbitrationMask;
  if (leader == 0) return;
  following_.active = true;
  following_.leaderFrameId = leader;
  following_.invert = command.Invert();
  following_.decodable = command.LeaderKind() == wire::kLeaderKindController;
}

void ControlLaw::OnDeviceFrame(const Frame& f) {
  if (!following_.active || !following_.decodable) return;
  if ((f.messageId & kArbitrationMask) != following_.leaderFrameId || f.length < 2) return;
  const double leader = wire::DecodeStatus0(f.data, f.length, 1.0).appliedOutput;
  following_.leaderOutput = following_.invert ? -leader : leader;
  following_.leaderSeen = true;
  following_.leaderTimeUs = f.timestampUs;
}

double ControlLaw::Step(uint64_t nowUs, const LawInputs& in) {
  enabled_ = HeartbeatFresh(nowUs);
  if (!enabled_) profile_ = Profile();  // a move resumes from where the mechanism is
  output_ = enabled_ ? ApplyLimitSwitches(TargetOutput(nowUs, in), in) : 0.0;
  return output_;
}

bool ControlLaw::HeartbeatFresh(uint64_t nowUs) const {
  return heartbeat_.seen && heartbeat_.hasOurBit &&
         IsFresh(nowUs, heartbeat_.timeUs, wire::kHeartbeatWatchdogUs);
}

double ControlLaw::TargetOutput(uint64_t nowUs, const LawInputs& in) {
  if (following_.active) {
    const bool fresh = following_.decodable && following_.leaderSeen &&
                       IsFresh(nowUs, following_.leaderTimeUs, kLeaderTimeoutUs);
    return fresh ? std::clamp(following_.leaderOutput, -1.0, 1.0) : 0.0;
  }
  if (!setpoint_.received) return 0.0;
  if (setpoint_.controlType == 0) {
    return Ramp(SanitizedDuty(setpoint_.value), in.params.AsDouble(param::kOpenLoopRampRate, 0.0));
  }
  const ClosedLoopQuantity quantity = in.quantities[static_cast<size_t>(setpoint_.controlType)];
  if (quantity == ClosedLoopQuantity::kNone) return 0.0;
  return Ramp(ClosedLoopOutput(quantity, in), in.params.AsDouble(param::kClosedLoopRampRate, 0.0));
}

double ControlLaw::ClosedLoopOutput(ClosedLoopQuantity quantity, const LawInputs& in) {
  if (setpoint_.pidSlot >= param::kSlotCount) return 0.0;
  if (quantity == ClosedLoopQuantity::kProfiledPosition) return ProfiledOutput(in);
  const double measured = quantity == ClosedLoopQuantity::kPosition ? in.position : in.velocity;
  return StepClosedLoop(GainsOfSlot(in.params, setpoint_.pidSlot),
                        static_cast<double>(setpoint_.value), measured, &loop_);
}

// The slot's PID holds the position to the profile's current point while kFF
// carries the profile's velocity; at the end the loop rests within the
// allowed error, so that it does not hunt around the target.
double ControlLaw::ProfiledOutput(const LawInputs& in) {
  const int slot = setpoint_.pidSlot;
  const double target = static_cast<double>(setpoint_.value);
  if (!profile_.active || profile_.target != target) {
    profile_ = Profile{true, target, ProfilePoint{in.position, in.velocity / kSecondsPerMinute}};
  }
  profile_.point =
      StepProfile(ProfileLimitsOfSlot(in.params, slot), target, profile_.point, kTickSeconds);
  const bool arrived = profile_.point.position == target && profile_.point.velocity == 0.0;
  const double allowed =
      SlotSetting<param::kSmartMotionAllowedClosedLoopError>(in.params, slot, 0.0);
  if (arrived && std::fabs(target - in.position) <= allowed) return 0.0;
  return StepClosedLoop(GainsOfSlot(in.params, slot), profile_.point.position, in.position,
                        profile_.point.velocity * kSecondsPerMinute, &loop_);
}

// The rate holds the full-scale change per second (what the robot library
// writes as the reciprocal of its seconds-to-full-output); 0, a negative or a
// non-finite rate means no ramp.
double ControlLaw::Ramp(double target, double ratePerSecond) const {
  if (!(ratePerSecond > 0.0) || !std::isfinite(ratePerSecond)) return target;
  const double maxStep = ratePerSecond * kTickSeconds;
  return std::clamp(target, output_ - maxStep, output_ + maxStep);
}

}  // namespace tavrix::sim::detail
