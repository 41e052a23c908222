// The demo scenario. Everything the robot program does goes through the
// library's public interface (zem::CANTavrix and its views); the simulated
// controllers and the simulation API only play the robot's surroundings: the
// controllers on the bus, the driver station's enable switch, a limit switch
// being pressed.
#include "DemoScenario.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <hal/simulation/DriverStationData.h>
#include <hal/simulation/SimRecords.h>
#include <tavrix/CANTavrix.h>
#include <tavrix/sim/SimController.h>

#include "DemoClock.h"
#include "tavrix/decode/DecodeTool.h"
#include "tavrix/trace/SimTrace.h"
#include "tavrix/trace/TraceFile.h"

namespace tavrix::demo {
namespace {

using zem::CANError;
using zem::CANTavrix;
using zem::ControlType;

constexpr int kLeaderId = 1;
constexpr int kFollowerId = 2;
constexpr int kArmId = 3;
constexpr int kFlywheelId = 4;
constexpr uint64_t kUsPerMs = 1000;
constexpr double kUsPerSecond = 1e6;
// The controllers have been powered this long when the robot program starts.
constexpr uint64_t kPowerOnDelayUs = 1000000;
// The robot program's loop period, as a periodic robot program has it.
constexpr uint64_t kLoopUs = 20000;
// Long enough for the controllers' 100 ms heartbeat watchdog to stop them.
constexpr uint64_t kMinDisablePhaseUs = 300000;
// Long enough for the arm to settle and the flywheel to reach its speed.
constexpr uint64_t kMinMechanismPhaseUs = 2500000;

constexpr double kRampTop = 0.8;
constexpr double kInvertedOutput = 0.4;
constexpr double kLimitApproachOutput = 0.5;

// The closed loop: position control on slot 1 with control type 3.
constexpr ControlType kPositionControl = ControlType::kControlType3;
constexpr int kPositionSlot = 1;
constexpr double kTargetRotations = 10.0;
constexpr double kGainP = 0.12;
constexpr double kGainI = 0.0;
constexpr double kGainD = 4.0;
constexpr double kOutputLimit = 0.6;

constexpr uint32_t kCurrentLimitA = 40;
constexpr double kClosedLoopRamp = 0.25;

// The arm: 4 kg, 0.7 m on a 60:1 gearbox, hanging at -90 degrees with
// hard stops at -95 and +95; held level (motor rotations from hanging) by a
// position loop whose integral, near the target, takes over holding it.
constexpr double kArmGearRatio = 60.0;
constexpr double kArmHangingRad = -1.5707963267948966;
constexpr double kArmLevelRotations = 15.0;  // a quarter turn of the arm x 60
constexpr int kArmSlot = 0;
// The flywheel: a heavy shooter wheel on the motor shaft, brought to 3000 rpm
// by a velocity loop (feed-forward plus a little P) within a 40 A limit.
constexpr double kFlywheelInertia = 0.004;
constexpr double kFlywheelRpm = 3000.0;
constexpr ControlType kVelocityControl = ControlType::kControlType1;

// Shares of the run length (after the disable phase is set aside).
constexpr double kRampShare = 0.20;
constexpr double kPositionShare = 0.25;
constexpr double kInvertedShare = 0.10;
constexpr double kLimitShare = 0.15;
constexpr double kMechanismShare = 0.30;

double Seconds(uint64_t us) { return static_cast<double>(us) / kUsPerSecond; }
uint64_t ShareOf(uint64_t totalUs, double share) {
  return static_cast<uint64_t>(std::llround(static_cast<double>(totalUs) * share));
}

const char* ErrorName(CANError e) {
  switch (e) {
    case CANError::kSuccess: return "kSuccess";
    case CANError::kFailed: return "kFailed";
    case CANError::kNoReply: return "kNoReply";
  }
  return "?";
}

struct Phases {
  uint64_t rampUs, positionUs, invertedUs, limitUs, mechanismUs, disableUs;
};

Phases PlanPhases(double durationS) {
  const uint64_t totalUs = static_cast<uint64_t>(std::llround(durationS * kUsPerSecond));
  Phases p{};
  p.disableUs = std::max(kMinDisablePhaseUs, ShareOf(totalUs, 0.1));
  const uint64_t restUs = totalUs > p.disableUs ? totalUs - p.disableUs : 0;
  p.rampUs = ShareOf(restUs, kRampShare);
  p.positionUs = ShareOf(restUs, kPositionShare);
  p.invertedUs = ShareOf(restUs, kInvertedShare);
  p.limitUs = ShareOf(restUs, kLimitShare);
  p.mechanismUs = std::max(kMinMechanismPhaseUs, ShareOf(restUs, kMechanismShare));
  return p;
}

// The telemetry table: one row per controller at every multiple of the interval.
class TelemetryTable {
 public:
  TelemetryTable(uint64_t intervalUs, std::vector<CANTavrix*> devices)
      : intervalUs_(intervalUs), devices_(std::move(devices)) {}

  void PrintHeader() const {
    std::printf("  %9s %4s %9s %13s %13s %10s %7s %9s\n", "time s", "dev", "applied",
                "velocity rpm", "position rot", "current A", "temp C", "follower");
  }

  void PrintIfDue(uint64_t nowUs) {
    if (nowUs < nextUs_) return;
    for (CANTavrix* d : devices_) PrintRow(nowUs, *d);
    nextUs_ = (nowUs / intervalUs_ + 1) * intervalUs_;
  }

 private:
  static void PrintRow(uint64_t nowUs, CANTavrix& d) {
    zem::CANEncoder encoder = d.GetEncoder();
    std::printf("  %9.3f %4d %9.3f %13.1f %13.3f %10.2f %7.1f %9s\n", Seconds(nowUs),
                d.GetDeviceId(), d.GetAppliedOutput(), encoder.GetVelocity(), encoder.GetPosition(),
                d.GetOutputCurrent(), d.GetMotorTemperature(), d.IsFollower() ? "yes" : "no");
  }

  uint64_t intervalUs_;
  std::vector<CANTavrix*> devices_;
  uint64_t nextUs_ = 0;
};

class Scenario {
 public:
  Scenario(const DemoOptions& options, DemoClock& clock)
      : options_(options), clock_(clock), phases_(PlanPhases(options.durationS)) {}

  int Run();

 private:
  void Step(const char* title);
  void Note(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Check(bool ok, const char* what);
  void RunFor(uint64_t durationUs, const std::function<void(uint64_t)>& loop = {});

  void Construct();
  void StartFollowing();
  void Enable();
  void RampDutyCycle();
  void WriteAndReadParameters();
  void MoveToPosition();
  void RunInverted();
  void HitLimitSwitch();
  void HoldArmAndSpinFlywheel();
  void Disable();
  bool WriteTrace();

  const DemoOptions& options_;
  DemoClock& clock_;
  Phases phases_;
  int stepNumber_ = 0;
  int failures_ = 0;

  sim::SimController leaderSim_{kLeaderId};
  sim::SimController followerSim_{kFollowerId};
  sim::SimController armSim_{kArmId};
  sim::SimController flywheelSim_{kFlywheelId};
  // Created in Construct, after the controllers are on the bus.
  std::unique_ptr<CANTavrix> leader_;
  std::unique_ptr<CANTavrix> follower_;
  std::unique_ptr<CANTavrix> arm_;
  std::unique_ptr<CANTavrix> flywheel_;
  std::unique_ptr<TelemetryTable> table_;
};

void Scenario::Step(const char* title) {
  std::printf("\n[%8.3f s] Step %d: %s\n", Seconds(clock_.NowUs()), ++stepNumber_, title);
}

void Scenario::Note(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::printf("             ");
  std::vprintf(format, args);
  std::printf("\n");
  va_end(args);
}

void Scenario::Check(bool ok, const char* what) {
  Note("%s %s", ok ? "ok:    " : "FAILED:", what);
  if (!ok) ++failures_;
}

void Scenario::RunFor(uint64_t durationUs, const std::function<void(uint64_t)>& loop) {
  table_->PrintHeader();
  for (uint64_t t = 0; t < durationUs; t += kLoopUs) {
    if (loop) loop(t);
    clock_.Advance(std::min(kLoopUs, durationUs - t));
    table_->PrintIfDue(clock_.NowUs());
  }
}

void Scenario::Construct() {
  Step("four controllers on the bus; the robot program constructs their objects");
  leaderSim_.SetClosedLoopQuantity(static_cast<int>(kPositionControl),
                                   sim::ClosedLoopQuantity::kPosition);
  // Devices 1 and 2 drive one gearbox: a light wheel on their shared shaft.
  sim::FlywheelParams shared;
  shared.momentOfInertiaKgM2 = 3.3e-4;
  const auto shaft = sim::Mechanism::Flywheel(shared);
  leaderSim_.AttachMechanism(shaft);
  followerSim_.AttachMechanism(shaft);
  sim::ArmParams armParams;
  armParams.gearRatio = kArmGearRatio;
  armParams.massKg = 4.0;
  armParams.lengthM = 0.7;
  armParams.minAngleRad = -1.66;
  armParams.maxAngleRad = 1.66;
  const auto arm = sim::Mechanism::Arm(armParams);
  arm->SetState({kArmHangingRad, 0.0});
  armSim_.AttachMechanism(arm);
  armSim_.SetClosedLoopQuantity(static_cast<int>(kPositionControl),
                                sim::ClosedLoopQuantity::kPosition);
  sim::FlywheelParams wheel;
  wheel.momentOfInertiaKgM2 = kFlywheelInertia;
  wheel.viscousNmPerRadPerS = 2.0e-4;
  flywheelSim_.AttachMechanism(sim::Mechanism::Flywheel(wheel));
  flywheelSim_.SetClosedLoopQuantity(static_cast<int>(kVelocityControl),
                                     sim::ClosedLoopQuantity::kVelocity);
  leader_ = std::make_unique<CANTavrix>(kLeaderId, CANTavrix::MotorType::kMotorKind1);
  follower_ = std::make_unique<CANTavrix>(kFollowerId, CANTavrix::MotorType::kMotorKind1);
  arm_ = std::make_unique<CANTavrix>(kArmId, CANTavrix::MotorType::kMotorKind1);
  flywheel_ = std::make_unique<CANTavrix>(kFlywheelId, CANTavrix::MotorType::kMotorKind1);
  table_ = std::make_unique<TelemetryTable>(
      options_.intervalMs * kUsPerMs, std::vector<CANTavrix*>{leader_.get(), follower_.get()});
  const std::string leaderFw = leader_->GetFirmwareString();
  const std::string followerFw = follower_->GetFirmwareString();
  Note("device %d firmware: %s", kLeaderId, leaderFw.c_str());
  Note("device %d firmware: %s", kFollowerId, followerFw.c_str());
  Check(!leaderFw.empty() && !followerFw.empty(), "both controllers reported their firmware");
}

void Scenario::StartFollowing() {
  Step("device 2 follows device 1");
  const CANError result = follower_->Follow(*leader_);
  Note("Follow(leader) returned %s (the controller echoed the command)", ErrorName(result));
  Check(result == CANError::kSuccess, "the follower command was confirmed");
}

void Scenario::Enable() {
  Step("the driver station enables the robot");
  HALSIM_SetDriverStationEnabled(1);
  RunFor(kLoopUs * 2);
  Check(follower_->IsFollower(), "device 2 reports follower mode in its status frame");
}

void Scenario::RampDutyCycle() {
  Step("duty-cycle ramp of the leader from 0 to 0.8; the follower mirrors it");
  const uint64_t rampUs = phases_.rampUs;
  RunFor(rampUs, [&](uint64_t t) {
    leader_->Set(kRampTop * static_cast<double>(t + kLoopUs) / static_cast<double>(rampUs));
  });
  Note("leader applied %.3f, follower applied %.3f", leader_->GetAppliedOutput(),
       follower_->GetAppliedOutput());
}

void Scenario::WriteAndReadParameters() {
  Step("configuration written and read back");
  const CANError limit = leader_->SetSmartCurrentLimit(kCurrentLimitA);
  uint32_t limitBack = 0;
  const auto status =
      leader_->GetParameter(CANTavrix::ConfigParameter::kSmartCurrentLimit, limitBack);
  Note("SetSmartCurrentLimit(%u) returned %s; the controller holds %u A", kCurrentLimitA,
       ErrorName(limit), limitBack);
  Check(status == CANTavrix::ParameterStatus::kOK && limitBack == kCurrentLimitA,
        "smart current limit read back");
  leader_->SetClosedLoopRampRate(kClosedLoopRamp);
  const double rampBack = leader_->GetClosedLoopRampRate();
  Note("SetClosedLoopRampRate(%.2f) reads back as %.6f", kClosedLoopRamp, rampBack);
  Check(std::fabs(rampBack - kClosedLoopRamp) < 1e-6, "closed-loop ramp rate read back");
  leader_->SetClosedLoopRampRate(0.0);
}

void Scenario::MoveToPosition() {
  Step("position move to 10 rotations with PID gains on slot 1");
  zem::CANPIDController pid = leader_->GetPIDController();
  zem::CANEncoder encoder = leader_->GetEncoder();
  encoder.SetPosition(0.0);
  pid.SetP(kGainP, kPositionSlot);
  pid.SetI(kGainI, kPositionSlot);
  pid.SetD(kGainD, kPositionSlot);
  pid.SetFF(0.0, kPositionSlot);
  pid.SetOutputRange(-kOutputLimit, kOutputLimit, kPositionSlot);
  Note("slot 1 gains read back: P %.3f I %.3f D %.3f, output range %.2f..%.2f",
       pid.GetP(kPositionSlot), pid.GetI(kPositionSlot), pid.GetD(kPositionSlot),
       pid.GetOutputMin(kPositionSlot), pid.GetOutputMax(kPositionSlot));
  const CANError result = pid.SetReference(kTargetRotations, kPositionControl, kPositionSlot);
  Note("SetReference(%.1f, kControlType3, slot 1) returned %s", kTargetRotations,
       ErrorName(result));
  RunFor(phases_.positionUs);
  Note("leader position %.3f rotations (target %.1f)", encoder.GetPosition(), kTargetRotations);
}

void Scenario::RunInverted() {
  Step("the leader runs inverted at 0.4");
  leader_->SetInverted(true);
  leader_->Set(kInvertedOutput);
  RunFor(phases_.invertedUs);
  const double seen = leader_->GetAppliedOutput();
  const double driven = leaderSim_.GetAppliedOutput();
  Note("the program sees applied %.3f; the motor is driven at %.3f; the follower at %.3f", seen,
       driven, follower_->GetAppliedOutput());
  Check(seen > 0.0 && driven < 0.0, "inversion is applied on the way out and undone on the way in");
  leader_->SetInverted(false);
}

void Scenario::HitLimitSwitch() {
  Step("driving forward into the forward limit switch");
  zem::CANDigitalInput forward =
      leader_->GetForwardLimitSwitch(zem::CANDigitalInput::LimitSwitchPolarity::kPolarity0);
  forward.EnableLimitSwitch(true);
  Note("forward limit switch enabled: %s", forward.IsLimitSwitchEnabled() ? "yes" : "no");
  leader_->Set(kLimitApproachOutput);
  RunFor(phases_.limitUs / 3);
  Note("the mechanism reaches the switch");
  leaderSim_.SetLimitSwitch(sim::LimitSwitch::kForward, true);
  RunFor(phases_.limitUs - phases_.limitUs / 3);
  const bool pressed = forward.Get();
  const double applied = leader_->GetAppliedOutput();
  Note("switch pressed: %s, leader applied %.3f, faults 0x%04X", pressed ? "yes" : "no", applied,
       static_cast<unsigned>(leader_->GetFaults()));
  Check(pressed && applied == 0.0, "the switch stops forward motion");
}

void Scenario::HoldArmAndSpinFlywheel() {
  Step("device 3 lifts an arm level and holds it; device 4 brings a flywheel to 3000 rpm");
  zem::CANPIDController armPid = arm_->GetPIDController();
  armPid.SetP(0.1, kArmSlot);
  armPid.SetI(2.0e-4, kArmSlot);
  armPid.SetIZone(1.0, kArmSlot);
  armPid.SetD(1.0, kArmSlot);
  armPid.SetOutputRange(-0.5, 0.5, kArmSlot);
  arm_->GetEncoder().SetPosition(0.0);
  arm_->SetIdleMode(CANTavrix::IdleMode::kIdleMode1);  // brake
  armPid.SetReference(kArmLevelRotations, kPositionControl, kArmSlot);
  flywheel_->SetSmartCurrentLimit(kCurrentLimitA);
  zem::CANPIDController wheelPid = flywheel_->GetPIDController();
  wheelPid.SetFF(1.0 / 5400.0, 0);
  wheelPid.SetP(5.0e-4, 0);
  wheelPid.SetReference(kFlywheelRpm, kVelocityControl, 0);
  const double startTemp = flywheel_->GetMotorTemperature();
  std::unique_ptr<TelemetryTable> table = std::make_unique<TelemetryTable>(
      options_.intervalMs * kUsPerMs, std::vector<CANTavrix*>{arm_.get(), flywheel_.get()});
  std::swap(table, table_);
  RunFor(phases_.mechanismUs);
  std::swap(table, table_);
  const double armRot = arm_->GetEncoder().GetPosition();
  const double wheelRpm = flywheel_->GetEncoder().GetVelocity();
  Note("arm at %.2f motor rotations (level is %.1f), holding %.1f A", armRot, kArmLevelRotations,
       arm_->GetOutputCurrent());
  Note("flywheel at %.0f rpm drawing %.1f A; its motor warmed from %.0f to %.0f C", wheelRpm,
       flywheel_->GetOutputCurrent(), startTemp, flywheel_->GetMotorTemperature());
  Check(std::fabs(armRot - kArmLevelRotations) < 0.5 && arm_->GetOutputCurrent() > 1.0,
        "the arm is held level against gravity");
  Check(std::fabs(wheelRpm - kFlywheelRpm) < 100.0, "the flywheel runs at its speed");
  arm_->Set(0.0);
  flywheel_->Set(0.0);
}

void Scenario::Disable() {
  Step("the driver station disables the robot");
  HALSIM_SetDriverStationEnabled(0);
  RunFor(phases_.disableUs);
  const double leaderOut = leader_->GetAppliedOutput();
  const double followerOut = follower_->GetAppliedOutput();
  Note("leader applied %.3f, follower applied %.3f", leaderOut, followerOut);
  Check(leaderOut == 0.0 && followerOut == 0.0,
        "without an enabled heartbeat the controllers stop driving");
}

bool Scenario::WriteTrace() {
  const std::vector<trace::TraceFrame> frames = trace::FromSimTrace(halsim::GetCanTrace());
  std::printf("\n");
  std::fputs(trace::FormatBusSummary(decode::SummariseTrace(frames)).c_str(), stdout);
  std::string error;
  const bool ok = trace::WriteCandumpFile(options_.logPath, frames, error) &&
                  trace::WritePcapFile(options_.pcapPath, frames, error);
  if (!ok) {
    std::fprintf(stderr, "tavrix-demo: %s\n", error.c_str());
    return false;
  }
  std::printf("\nBus trace: %zu frames written to %s (candump log) and %s (pcap).\n", frames.size(),
              options_.logPath.c_str(), options_.pcapPath.c_str());
  std::printf("Open it with:  tavrix-decode %s\n", options_.logPath.c_str());
  std::printf("          or:  tshark -r %s\n", options_.pcapPath.c_str());
  return true;
}

int Scenario::Run() {
  std::printf("tavrix-demo: four simulated controllers, %.1f s of %s simulated time\n",
              options_.durationS, clock_.Realtime() ? "real-time" : "stepped");
  Construct();
  StartFollowing();
  Enable();
  RampDutyCycle();
  WriteAndReadParameters();
  MoveToPosition();
  RunInverted();
  HitLimitSwitch();
  HoldArmAndSpinFlywheel();
  Disable();
  const bool written = WriteTrace();
  std::printf("\ntavrix-demo: %s\n", failures_ == 0 && written ? "all steps done" : "FAILED");
  return failures_ == 0 && written ? 0 : 1;
}

}  // namespace

int RunDemo(const DemoOptions& options) {
  DemoClock clock(options.realtime);
  clock.PowerOnDelay(kPowerOnDelayUs);
  Scenario scenario(options, clock);
  return scenario.Run();
}

}  // namespace tavrix::demo
