// The control law of a simulated controller, once a tick: whether outputs are
// on (the heartbeat with this device's bit, fresh), and the output from the
// setpoint (duty cycle, a PID loop, a profiled move) or the leader's status
// frames, with ramps and limit switches. Knows nothing of the motor beyond
// the encoder readings it is given. Not thread-safe (the controller's lock
// guards it).
#pragma once

#include <array>
#include <cstdint>

#include "ClosedLoop.h"
#include "ParameterStore.h"
#include "SimFrames.h"
#include "tavrix/Wire.h"
#include "tavrix/sim/SimController.h"

namespace tavrix::sim::detail {

constexpr int kLastControlType = 6;
// What each control type regulates; type 0 is duty cycle and never consults it.
using ClosedLoopQuantities = std::array<ClosedLoopQuantity, kLastControlType + 1>;
extern const ClosedLoopQuantities kDefaultQuantities;

// What one tick of the law reads besides its own state.
struct LawInputs {
  const ParameterStore& params;
  const ClosedLoopQuantities& quantities;
  double position;  // the encoder, in position units
  double velocity;  // in velocity units
  bool forwardPressed;
  bool reversePressed;
};

class ControlLaw {
 public:
  void OnHeartbeat(const Frame& f, int device);
  void OnSetpoint(const Frame& f, int32_t apiId);
  void OnFollow(const zem::wire::Follow& command);
  // Another device's frame: the leader's status frame 0 while following.
  void OnDeviceFrame(const Frame& f);
  void SetIAccum(double value) { loop_.iAccum = value; }

  // The output for the tick at nowUs, -1..1 (0 while outputs are off).
  double Step(uint64_t nowUs, const LawInputs& in);

  bool OutputsEnabled() const { return enabled_; }
  bool IsFollower() const { return following_.active; }
  double IAccum() const { return loop_.iAccum; }
  const LastSetpoint& Setpoint() const { return setpoint_; }

 private:
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

  bool HeartbeatFresh(uint64_t nowUs) const;
  double TargetOutput(uint64_t nowUs, const LawInputs& in);
  double ClosedLoopOutput(ClosedLoopQuantity quantity, const LawInputs& in);
  double ProfiledOutput(const LawInputs& in);
  double Ramp(double target, double ratePerSecond) const;

  Heartbeat heartbeat_;
  Following following_;
  LastSetpoint setpoint_;
  LoopState loop_;
  Profile profile_;
  double output_ = 0.0;  // after ramps and limit switches
  bool enabled_ = false;
};

}  // namespace tavrix::sim::detail
