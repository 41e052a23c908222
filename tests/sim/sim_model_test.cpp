// The simulated controller's PID step, motion profile, motor and mechanisms,
// without the bus, against closed-form answers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ClosedLoop.h"
#include "ControllerCore.h"
#include "MotorPhysics.h"
#include "physics/MechanismImpl.h"
#include "physics/Shaft.h"
#include "tavrix/sim/ParameterIds.h"

namespace {

using namespace tavrix::sim;
using namespace tavrix::sim::detail;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kDt = 0.001;
constexpr double kPi = 3.141592653589793;
constexpr double kGravity = 9.80665;

TEST(SimClosedLoop, GainTerms) {
  SlotGains g;
  g.kP = 0.1;
  g.kI = 0.01;
  g.kD = 0.5;
  g.kFF = 0.05;
  LoopState s;
  // error 2: P 0.2 + I 0.02 (accumulated first) + FF 0.1; no derivative on the first step
  EXPECT_NEAR(StepClosedLoop(g, 2.0, 0.0, &s), 0.32, 1e-12);
  // error 1.5: P 0.15 + I 0.035 + D 0.5 * -0.5 + FF 0.1
  EXPECT_NEAR(StepClosedLoop(g, 2.0, 0.5, &s), 0.035, 1e-12);
}

TEST(SimClosedLoop, IntegralZoneAndBound) {
  SlotGains g;
  g.kI = 1.0;
  g.iZone = 1.0;
  g.iMaxAccum = 0.3;
  LoopState s;
  StepClosedLoop(g, 0.5, 0.0, &s);
  StepClosedLoop(g, 0.5, 0.0, &s);
  EXPECT_DOUBLE_EQ(s.iAccum, 0.3);
  StepClosedLoop(g, 5.0, 0.0, &s);
  EXPECT_DOUBLE_EQ(s.iAccum, 0.0);  // outside the zone the accumulator is cleared
  g.kI = kNaN;
  StepClosedLoop(g, 0.5, 0.0, &s);
  EXPECT_EQ(s.iAccum, 0.0);  // a NaN gain must not poison the accumulator
}

TEST(SimClosedLoop, OutputRangeAndBadInput) {
  const struct {
    const char* name;
    double kP, outputMin, outputMax, expected;
  } cases[] = {
      {"clamped to max", 10.0, -0.5, 0.5, 0.5}, {"clamped to -1..1", 10.0, -5.0, 5.0, 1.0},
      {"inverted range", 1.0, 0.5, -0.5, 0.0},  {"NaN gain", kNaN, -1.0, 1.0, 0.0},
      {"NaN range", 1.0, kNaN, 1.0, 0.0},
  };
  for (const auto& c : cases) {
    SlotGains g;
    g.kP = c.kP;
    g.outputMin = c.outputMin;
    g.outputMax = c.outputMax;
    LoopState s;
    EXPECT_EQ(StepClosedLoop(g, 1.0, 0.0, &s), c.expected) << c.name;
  }
}

TEST(SimClosedLoop, DerivativeFilterKeepsItsShareOfThePreviousDerivative) {
  SlotGains g;
  g.kD = 1.0;
  g.dFilter = 0.75;
  LoopState s;
  StepClosedLoop(g, 0.0, 0.0, &s);
  EXPECT_NEAR(StepClosedLoop(g, 4.0, 0.0, &s), 1.0, 1e-12);   // a quarter of the jump of 4
  EXPECT_NEAR(StepClosedLoop(g, 4.0, 0.0, &s), 0.75, 1e-12);  // then it decays
}

// Trapezoid: peak = max velocity, duration = D / V + V / A. Triangle (too
// short to reach V): peak = sqrt(A D), duration = 2 sqrt(D / A).
TEST(SimProfile, PeakVelocityAndDurationOfTrapezoidAndTriangle) {
  const struct {
    const char* name;
    double distance, peak, duration;
  } cases[] = {{"trapezoid", 10.0, 2.0, 10.0 / 2.0 + 2.0 / 4.0},
               {"triangle", 0.5, std::sqrt(4.0 * 0.5), 2.0 * std::sqrt(0.5 / 4.0)}};
  for (const auto& c : cases) {
    const ProfileLimits limits{2.0, 4.0, 0.0};
    ProfilePoint p;
    double peak = 0.0;
    int steps = 0;
    while ((p.position != c.distance || p.velocity != 0.0) && steps < 100000) {
      p = StepProfile(limits, c.distance, p, kDt);
      peak = std::max(peak, p.velocity);
      ++steps;
    }
    EXPECT_NEAR(peak, c.peak, 0.01 * c.peak) << c.name;
    EXPECT_NEAR(steps * kDt, c.duration, 0.005) << c.name;  // within 5 ms
  }
}

MotorInput Powered(double volts) {
  MotorInput m;
  m.present = true;
  m.volts = volts;
  return m;
}

// A motor at 12 V on a flywheel through a gearbox: J dw/dt = G Kt V / R - b w - T,
// b = G^2 Kt / (Kv R) + viscous, T the Coulomb friction, so w reaches
// (G Kt V / R - T) / b with time constant J / b, and the current at speed is
// what the friction takes.
TEST(SimMechanism, MotorAndFlywheelSpinUpFollowTheFirstOrderAnswer) {
  const struct {
    const char* name;
    double gear, inertia, viscous, coulomb;
  } cases[] = {{"bare motor", 1.0, 1.65e-4, 0.0, 0.0},
               {"flywheel 3:1 with friction", 3.0, 0.01, 0.002, 0.05}};
  for (const auto& c : cases) {
    const DcMotor dc = DcMotor::Brushless();
    ShaftModel model;
    model.gearRatio = c.gear;
    model.inertiaKgM2 = c.inertia;
    model.viscousNmPerRadPerS = c.viscous;
    model.coulombNm = c.coulomb;
    const double kt = dc.TorquePerAmpNm();
    const double r = dc.ResistanceOhm();
    const double kv = dc.RadPerSecPerVolt();
    const double b = c.gear * c.gear * kt / (kv * r) + c.viscous;
    const double friction = c.coulomb + c.gear * dc.FrictionTorqueNm();
    const double final = (c.gear * kt * 12.0 / r - friction) / b;
    const double tau = (c.inertia + c.gear * c.gear * dc.rotorInertiaKgM2) / b;
    const MotorInput motor = Powered(12.0);
    MotorResult result;
    ShaftState s;
    const int tauSteps = static_cast<int>(std::lround(tau / kDt));
    for (int i = 1; i <= 20 * tauSteps; ++i) {
      const MotorTorque t = MotorTorqueAt(c.gear, &motor, 1, s.speedRadPerS, &result);
      s = StepShaft(model, t, 0.0, kDt, s);
      if (i == tauSteps) {
        EXPECT_NEAR(s.speedRadPerS, final * (1.0 - std::exp(-1.0)), 0.01 * final) << c.name;
      }
    }
    EXPECT_NEAR(s.speedRadPerS, final, 1e-4 * final) << c.name;
    MotorResults(c.gear, &motor, 1, s.speedRadPerS, &result);
    const double load = friction + c.viscous * final;
    EXPECT_NEAR(result.currentA, load / (c.gear * kt), 0.01 * dc.freeCurrentA) << c.name;
  }
}

// An arm hanging down, the motor unpowered in coast: a pendulum of period
// 2 pi sqrt(J / (m g L / 2)), J = m L^2 / 3 plus the rotor; the motor's
// Coulomb friction shrinks the swing but leaves the period.
TEST(SimMechanism, UnpoweredArmSwingsWithThePendulumPeriod) {
  ArmParams p;
  p.gearRatio = 1.0;
  p.massKg = 2.0;
  p.lengthM = 0.5;
  const auto arm = Mechanism::Arm(p);
  ASSERT_TRUE(arm);
  const double hanging = -kPi / 2.0;
  ASSERT_TRUE(arm->SetState({hanging + 0.15, 0.0}));
  MotorInput coast = Powered(0.0);
  coast.open = true;
  Mechanism::Impl& impl = arm->Internals();
  const int slot = impl.AddMotor();
  // Coulomb friction shifts the centre of each half swing, so time the turns.
  std::vector<double> topTurnsS;
  double previous = 0.0;
  for (uint64_t ms = 1; ms <= 4000; ++ms) {
    impl.Drive(slot, coast, ms * 1000);
    const double velocity = arm->GetState().velocity;
    if (previous > 0.0 && velocity <= 0.0) topTurnsS.push_back(static_cast<double>(ms) * kDt);
    previous = velocity;
  }
  const double j = p.massKg * p.lengthM * p.lengthM / 3.0 + DcMotor::Brushless().rotorInertiaKgM2;
  const double period = 2.0 * kPi * std::sqrt(j / (p.massKg * kGravity * p.lengthM / 2.0));
  ASSERT_GE(topTurnsS.size(), 3u);
  EXPECT_NEAR(topTurnsS[0], period, 0.003 * period);
  EXPECT_NEAR((topTurnsS[2] - topTurnsS[0]) / 2.0, period, 0.003 * period);
}

// A carriage with nothing holding it falls as h0 - g t^2 / 2 until the
// lower stop, which stops it dead.
TEST(SimMechanism, ElevatorFallsFreelyOntoItsLowerStop) {
  ElevatorParams p;
  p.minHeightM = 0.0;
  p.maxHeightM = 2.0;
  const auto elevator = Mechanism::Elevator(p);
  ASSERT_TRUE(elevator);
  ASSERT_TRUE(elevator->SetState({3.0, 0.0}));
  EXPECT_DOUBLE_EQ(elevator->GetState().position, 2.0);  // placed within its travel
  Mechanism::Impl& impl = elevator->Internals();
  for (uint64_t ms = 1; ms <= 500; ++ms) {
    impl.Step(kDt);
  }
  EXPECT_NEAR(elevator->GetState().position, 2.0 - kGravity * 0.25 / 2.0, 0.005);
  EXPECT_NEAR(elevator->GetState().velocity, -kGravity * 0.5, 0.001);
  for (int i = 0; i < 500; ++i) impl.Step(kDt);
  EXPECT_EQ(elevator->GetState().position, 0.0);
  EXPECT_EQ(elevator->GetState().velocity, 0.0);
}

TEST(SimMechanism, FactoriesRejectUnphysicalParameters) {
  FlywheelParams f;
  f.momentOfInertiaKgM2 = 0.0;
  ArmParams a;
  a.minAngleRad = 1.0;
  a.maxAngleRad = 0.0;
  ElevatorParams e;
  e.drumRadiusM = kNaN;
  EXPECT_FALSE(Mechanism::Flywheel(f));
  EXPECT_FALSE(Mechanism::Arm(a));
  EXPECT_FALSE(Mechanism::Elevator(e));
  DcMotor dc;
  dc.freeCurrentA = dc.stallCurrentA;
  EXPECT_FALSE(dc.IsValid());
}

// Where threads due at one instant run in parallel, a tick at t applies exactly
// the frames stamped before t, whatever their arrival order; requests are still
// answered on receipt, from the store as the robot wrote it.
TEST(SimCommandTiming, AtNextTickAppliesFramesStampedBeforeTheTick) {
  namespace wire = zem::wire;
  ControllerCore core(3, SimOptions(), ControllerCore::CommandTiming::kAtNextTick);
  core.StartClock(0);
  Outbox out;
  const auto robot = [&](uint64_t atUs, uint32_t id, const auto& payload, uint8_t length) {
    core.OnRobotFrame(Frame{atUs, id, payload.data(), length}, &out);
  };
  const wire::Payload duty = wire::EncodeSetpoint(wire::Setpoint{0.5f, 0, 0});
  const wire::Payload heartbeat = wire::EncodeHeartbeat(1ull << 3);
  robot(1000, wire::ComposeId(3, wire::kSetpointApiIds[0]), duty, 8);  // at the tick's instant
  robot(400, wire::kHeartbeatId, heartbeat, 8);  // arrives later, stamped earlier
  const int kP = param::kP;
  const auto write = wire::EncodeValueFrame(wire::FloatBits(0.25f), wire::type::kFloat32);
  robot(1000, wire::ComposeId(3, wire::ParameterApiId(kP)), write, 5);
  robot(1000, wire::ComposeId(3, wire::ParameterApiId(kP)), wire::Payload{}, 0);
  ASSERT_EQ(out.size(), 1u);  // the read is answered at once, with the write
  EXPECT_EQ(wire::DecodeValueFrame(out[0].data.data(), out[0].length).word, wire::FloatBits(0.25f));

  core.Advance(1000, &out);
  SimState s = core.State();
  EXPECT_EQ(s.counts.heartbeats, 1u);
  EXPECT_EQ(s.counts.setpoints, 0u);  // stamped at 1000: for the tick after
  EXPECT_EQ(s.counts.parameterWrites, 0u);
  EXPECT_EQ(s.appliedOutput, 0.0);
  core.Advance(2000, &out);
  s = core.State();
  EXPECT_EQ(s.counts.setpoints, 1u);
  EXPECT_EQ(s.counts.parameterWrites, 1u);
  EXPECT_GT(s.appliedOutput, 0.4);
}

}  // namespace
