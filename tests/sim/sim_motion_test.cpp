// What the simulated controller drives: heartbeat watchdog, duty cycle and
// its ramp, current limit, closed loops and limit switches.
#include <algorithm>
#include <cmath>
#include <limits>

#include "sim_bus.h"
#include "tavrix/sim/ParameterIds.h"

namespace {

using namespace simtest;
using tavrix::sim::ClosedLoopQuantity;
using tavrix::sim::LimitSwitch;
using tavrix::sim::SimController;
namespace param = tavrix::sim::param;

constexpr int kDutyApi = wire::kSetpointApiIds[0];

class SimMotionTest : public SimTest {};

TEST_F(SimMotionTest, HeartbeatWatchdogGatesTheOutput) {
  SimController sim(kDevice);
  SendSetpoint(kDevice, kDutyApi, 0.5f);
  StepMs(20);
  EXPECT_EQ(sim.GetAppliedOutput(), 0.0);  // no heartbeat yet

  SendHeartbeat(1ull << (kDevice + 1));  // another device's bit only
  StepMs(20);
  EXPECT_EQ(sim.GetAppliedOutput(), 0.0);

  SendHeartbeat(1ull << kDevice);
  StepMs(99);
  EXPECT_NEAR(sim.GetAppliedOutput(), 0.5, 1e-9);
  EXPECT_TRUE(sim.GetState().outputsEnabled);
  StepMs(1);  // the heartbeat is now 100 ms old
  EXPECT_EQ(sim.GetAppliedOutput(), 0.0);

  SendHeartbeat(1ull << kDevice);
  StepMs(1);
  SendHeartbeat(0);  // the latest heartbeat rules: disabled at once
  StepMs(1);
  EXPECT_EQ(sim.GetAppliedOutput(), 0.0);
}

// The bare controller: the brushless preset on its own light load, a first
// order response of about 50 ms toward the speed where the current is the
// free current (the battery sags a little under it).
TEST_F(SimMotionTest, DutyCycleStepResponse) {
  SimController sim(kDevice);
  const tavrix::sim::DcMotor m = tavrix::sim::DcMotor::Brushless();
  const auto steadyRpm = [&] {
    const double volts = 0.5 * sim.GetState().busVoltage;
    return (volts - m.freeCurrentA * m.ResistanceOhm()) * m.RadPerSecPerVolt() * 60.0 / (2 * M_PI);
  };
  SendSetpoint(kDevice, kDutyApi, 0.5f);
  RunEnabled(1);
  const double startCurrent = sim.GetOutputCurrent();
  EXPECT_NEAR(startCurrent, 6.0 / m.ResistanceOhm(), 2.0);
  RunEnabled(49);  // one time constant
  EXPECT_NEAR(sim.GetVelocity(), steadyRpm() * (1.0 - std::exp(-1.0)), 0.02 * steadyRpm());
  RunEnabled(950);
  const double steady = steadyRpm();
  EXPECT_NEAR(sim.GetVelocity(), steady, 0.001 * steady);
  EXPECT_NEAR(sim.GetOutputCurrent(), m.freeCurrentA, 0.01);
  EXPECT_GT(sim.GetPosition(), 0.8 * steady / 60.0);  // most of a second at speed
  EXPECT_GT(sim.GetTemperature(), tavrix::sim::MotorModel().ambientTemperatureC);

  const auto frame = LastDelivered(kDevice, api::kStatus1);
  ASSERT_TRUE(frame);
  EXPECT_NEAR(wire::DecodeStatus1(frame->data, frame->dataSize, 1.0).velocity, steady,
              0.001 * steady);
  EXPECT_EQ(sim.GetState().lastSetpoint.apiId, kDutyApi);
}

TEST_F(SimMotionTest, DutyCycleIsClampedAndNaNIsZero) {
  SimController sim(kDevice);
  SendParameter(kDevice, param::kSmartCurrentLimit, 0u, wire::type::kUint32);  // 0: no limit
  SendSetpoint(kDevice, kDutyApi, 3.0f);
  RunEnabled(1);
  EXPECT_DOUBLE_EQ(sim.GetAppliedOutput(), 1.0);
  SendSetpoint(kDevice, kDutyApi, std::nanf(""));
  RunEnabled(1);
  EXPECT_EQ(sim.GetAppliedOutput(), 0.0);
  SendSetpoint(kDevice, kDutyApi, 0.5f);
  SendSetpoint(kDevice, api::kSetpointNeverFilled, 0.0f);  // the empty slot is a zero duty cycle
  RunEnabled(1);
  EXPECT_EQ(sim.GetAppliedOutput(), 0.0);
  EXPECT_EQ(sim.GetState().lastSetpoint.apiId, api::kSetpointNeverFilled);
}

TEST_F(SimMotionTest, OpenLoopRampLimitsTheRateOfChange) {
  SimController sim(kDevice);
  SendFloatParameter(kDevice, param::kOpenLoopRampRate, 2.0f);  // full scale in 0.5 s
  SendSetpoint(kDevice, kDutyApi, 0.5f);
  RunEnabled(100);
  EXPECT_NEAR(sim.GetAppliedOutput(), 0.2, 1e-9);
  RunEnabled(200);
  EXPECT_NEAR(sim.GetAppliedOutput(), 0.5, 1e-9);
}

TEST_F(SimMotionTest, SmartCurrentLimitCapsTheCurrent) {
  SimController sim(kDevice);
  SendParameter(kDevice, param::kSmartCurrentLimit, 20u, wire::type::kUint32);
  SendSetpoint(kDevice, kDutyApi, 1.0f);
  RunEnabled(1);
  EXPECT_NEAR(sim.GetOutputCurrent(), 20.0, 1e-9);
  EXPECT_LT(sim.GetAppliedOutput(), 0.5);  // the controller lowered its duty cycle
  RunEnabled(300);
  EXPECT_LE(sim.GetOutputCurrent(), 20.0 + 1e-9);
}

TEST_F(SimMotionTest, PositionLoopReachesItsTarget) {
  SimController sim(kDevice);
  constexpr int kType = 3;
  constexpr uint8_t kSlot = 1;
  ASSERT_TRUE(sim.SetClosedLoopQuantity(kType, ClosedLoopQuantity::kPosition));
  SendFloatParameter(kDevice, param::Slot(param::kP, kSlot), 0.2f);
  SendFloatParameter(kDevice, param::Slot(param::kD, kSlot), 40.0f);
  // Near the target the integral overcomes the motor's friction, which P alone would stall on.
  SendFloatParameter(kDevice, param::Slot(param::kI, kSlot), 2.0e-4f);
  SendFloatParameter(kDevice, param::Slot(param::kIZone, kSlot), 0.5f);
  SendFloatParameter(kDevice, param::Slot(param::kOutputMin, kSlot), -0.6f);
  SendFloatParameter(kDevice, param::Slot(param::kOutputMax, kSlot), 0.6f);
  SendSetpoint(kDevice, wire::kSetpointApiIds[kType], 10.0f, kSlot);
  RunEnabled(200);
  EXPECT_LE(sim.GetAppliedOutput(), 0.6 + 1e-9);  // the slot's output range holds
  RunEnabled(2800);
  EXPECT_NEAR(sim.GetPosition(), 10.0, 0.05);
  EXPECT_NEAR(sim.GetVelocity(), 0.0, 5.0);
}

TEST_F(SimMotionTest, VelocityLoopUsesFeedForwardAndIntegral) {
  SimController sim(kDevice);
  constexpr int kType = 1;
  ASSERT_TRUE(sim.SetClosedLoopQuantity(kType, ClosedLoopQuantity::kVelocity));
  // Feed-forward alone would fall 10 % short; the integral makes up the rest.
  SendFloatParameter(kDevice, param::Slot(param::kFF, 0), 0.9f / 5676.0f);
  SendFloatParameter(kDevice, param::Slot(param::kI, 0), 1.0e-6f);
  SendSetpoint(kDevice, wire::kSetpointApiIds[kType], 3000.0f);
  RunEnabled(2000);
  EXPECT_NEAR(sim.GetVelocity(), 3000.0, 3.0);
  // What the integral holds: the output for 3000 rpm against the motor's friction, less the FF.
  const tavrix::sim::DcMotor m = tavrix::sim::DcMotor::Brushless();
  const double volts =
      3000.0 * 2 * M_PI / 60.0 / m.RadPerSecPerVolt() + m.freeCurrentA * m.ResistanceOhm();
  EXPECT_NEAR(sim.GetState().iAccum, volts / sim.GetState().busVoltage - 0.9 * 3000.0 / 5676.0,
              1e-3);
}

// A profiled move of 20 rotations at 1200 rpm and 2400 rpm/s: 0.5 s up to
// 20 rotations per second, 0.5 s of cruise, 0.5 s down. The position loop
// keeps the motor on the trapezoid and then rests within the allowed error.
TEST_F(SimMotionTest, ProfiledMoveTracksTheTrapezoidAndRestsWithinTheAllowedError) {
  SimController sim(kDevice);
  constexpr int kType = 4;  // the profiled move by default
  constexpr uint8_t kSlot = 2;
  const auto motion = [](int base) { return param::Slot(base, kSlot, param::kMotionStride); };
  SendFloatParameter(kDevice, param::Slot(param::kP, kSlot), 1.0f);
  SendFloatParameter(kDevice, param::Slot(param::kD, kSlot), 20.0f);
  SendFloatParameter(kDevice, param::Slot(param::kFF, kSlot), 1.0f / 5676.0f);
  SendFloatParameter(kDevice, motion(param::kMotionMaxVelocity), 1200.0f);
  SendFloatParameter(kDevice, motion(param::kMotionMaxAccel), 2400.0f);
  SendFloatParameter(kDevice, motion(param::kMotionAllowedClosedLoopError), 0.02f);
  const auto trapezoid = [](double t) {
    if (t < 0.5) return 20.0 * t * t;
    if (t < 1.0) return 5.0 + 20.0 * (t - 0.5);
    if (t < 1.5) return 20.0 - 20.0 * (1.5 - t) * (1.5 - t);
    return 20.0;
  };
  SendSetpoint(kDevice, wire::kSetpointApiIds[kType], 20.0f, kSlot);
  double worstLag = 0.0;
  double fastest = 0.0;
  for (int ms = 10; ms <= 1500; ms += 10) {
    RunEnabled(10);
    worstLag = std::max(worstLag, std::fabs(sim.GetPosition() - trapezoid(ms * 1e-3)));
    fastest = std::max(fastest, sim.GetVelocity());
  }
  EXPECT_LT(worstLag, 0.06);
  EXPECT_LT(fastest, 1.05 * 1200.0);
  RunEnabled(300);
  EXPECT_NEAR(sim.GetPosition(), 20.0, 0.02);
  EXPECT_EQ(sim.GetAppliedOutput(), 0.0);
}

// One slot's settings make every default tell itself apart after 0.5 s: a
// velocity loop holds about the 100 rpm asked for, a profiled move cruises at
// the slot's 600 rpm, a position loop rushes toward 100 rotations.
TEST_F(SimMotionTest, EachClosedLoopTypeHasADefaultQuantity) {
  const struct {
    size_t type;
    double minRpm, maxRpm;
  } cases[] = {{1, 80.0, 120.0},  {2, 80.0, 120.0},    {3, 1500.0, 6000.0},
               {4, 450.0, 700.0}, {5, 1500.0, 6000.0}, {6, 80.0, 120.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    SimController sim(kDevice);
    SendFloatParameter(kDevice, param::Slot(param::kP, 0), 0.01f);
    SendFloatParameter(kDevice, param::Slot(param::kFF, 0), 1.0f / 5676.0f);
    SendFloatParameter(kDevice, param::Slot(param::kMotionMaxVelocity, 0, param::kMotionStride),
                       600.0f);
    SendFloatParameter(kDevice, param::Slot(param::kMotionMaxAccel, 0, param::kMotionStride),
                       6000.0f);
    SendSetpoint(kDevice, wire::kSetpointApiIds[c.type], 100.0f);
    RunEnabled(500);
    EXPECT_GT(sim.GetVelocity(), c.minRpm);
    EXPECT_LT(sim.GetVelocity(), c.maxRpm);
  }
}

TEST_F(SimMotionTest, OverriddenTypeAndUnknownSlotDriveNothing) {
  SimController sim(kDevice);
  EXPECT_FALSE(sim.SetClosedLoopQuantity(0, ClosedLoopQuantity::kPosition));
  EXPECT_FALSE(sim.SetClosedLoopQuantity(7, ClosedLoopQuantity::kPosition));
  ASSERT_TRUE(sim.SetClosedLoopQuantity(2, ClosedLoopQuantity::kNone));
  SendFloatParameter(kDevice, param::Slot(param::kP, 0), 1.0f);
  SendSetpoint(kDevice, wire::kSetpointApiIds[2], 5.0f);
  RunEnabled(20);
  EXPECT_EQ(sim.GetAppliedOutput(), 0.0);
  EXPECT_EQ(sim.GetState().lastSetpoint.value, 5.0f);
  EXPECT_EQ(sim.GetState().lastSetpoint.controlType, 2);

  sim.SetClosedLoopQuantity(2, ClosedLoopQuantity::kPosition);
  SendSetpoint(kDevice, wire::kSetpointApiIds[2], 5.0f, 4);  // there is no slot 4
  RunEnabled(20);
  EXPECT_EQ(sim.GetAppliedOutput(), 0.0);
  SendSetpoint(kDevice, wire::kSetpointApiIds[2], 5.0f, 0);
  RunEnabled(1);
  EXPECT_GT(sim.GetAppliedOutput(), 0.0);
}

TEST_F(SimMotionTest, LimitSwitchStopsMotionInItsDirectionOnly) {
  SimController sim(kDevice);
  sim.SetLimitSwitch(LimitSwitch::kForward, true);
  SendSetpoint(kDevice, kDutyApi, 0.3f);
  RunEnabled(20);
  EXPECT_EQ(sim.GetAppliedOutput(), 0.0);
  EXPECT_EQ(sim.GetState().faults, 1u << SimController::kForwardLimitFaultBit);

  SendSetpoint(kDevice, kDutyApi, -0.3f);
  RunEnabled(1);
  EXPECT_NEAR(sim.GetAppliedOutput(), -0.3, 1e-6);

  SendParameter(kDevice, param::kForwardLimitSwitchEnabled, 0u, wire::type::kBool);
  SendSetpoint(kDevice, kDutyApi, 0.3f);
  RunEnabled(1);
  EXPECT_NEAR(sim.GetAppliedOutput(), 0.3, 1e-6);
}

TEST_F(SimMotionTest, VoltageCompensationScalesByTheNominalVoltage) {
  SimController sim(kDevice);
  SendFloatParameter(kDevice, param::kVoltageCompensationNominalVoltage, 6.0f);
  SendParameter(kDevice, param::kVoltageCompensationMode, 2u, wire::type::kUint32);
  SendSetpoint(kDevice, kDutyApi, 0.5f);
  RunEnabled(1);
  EXPECT_NEAR(sim.GetAppliedOutput(), 0.25, 1e-9);  // 3 V of a 12 V bus
}

// With zero output, coast leaves the shaft to its friction (a straight-line
// slowdown of T / J); brake shorts the windings, a slowdown with the 50 ms
// time constant of spin-up.
TEST_F(SimMotionTest, IdleModeBrakesOrCoasts) {
  for (const uint32_t mode : {tavrix::sim::kIdleCoast, tavrix::sim::kIdleBrake}) {
    SimController sim(kDevice);
    SendParameter(kDevice, param::kIdleMode, mode, wire::type::kUint32);
    SendSetpoint(kDevice, kDutyApi, 1.0f);
    RunEnabled(300);
    const double fast = sim.GetVelocity();
    SendSetpoint(kDevice, kDutyApi, 0.0f);
    RunEnabled(100);
    const tavrix::sim::DcMotor m = tavrix::sim::DcMotor::Brushless();
    const double inertia = 1.65e-4 + m.rotorInertiaKgM2;  // the controller's own load and the rotor
    const double coastRpm = fast - m.FrictionTorqueNm() / inertia * 0.1 * 60.0 / (2 * M_PI);
    if (mode == tavrix::sim::kIdleCoast) {
      EXPECT_NEAR(sim.GetVelocity(), coastRpm, 0.01 * fast);
      EXPECT_EQ(sim.GetOutputCurrent(), 0.0);
    } else {
      EXPECT_LT(sim.GetVelocity(), 0.15 * fast);
    }
  }
}

// A leader and its follower on one flywheel: one shaft, one encoder reading
// through the gear ratio, torques that add. A physics hook then takes over.
TEST_F(SimMotionTest, ControllersOnOneMechanismShareItsShaft) {
  constexpr int kFollower = kDevice + 1;
  SimController leader(kDevice);
  SimController follower(kFollower);
  tavrix::sim::FlywheelParams p;
  p.gearRatio = 2.0;
  p.momentOfInertiaKgM2 = 0.01;
  const auto flywheel = tavrix::sim::Mechanism::Flywheel(p);
  leader.AttachMechanism(flywheel);
  follower.AttachMechanism(flywheel);
  Send(kFollower, api::kFollower,
       wire::EncodeFollow(wire::ComposeId(kDevice, api::kStatus0),
                          wire::FollowConfigWord(wire::kLeaderKindController, false)));
  SendSetpoint(kDevice, kDutyApi, 0.5f);
  RunEnabled(500, (1ull << kDevice) | (1ull << kFollower));
  const double motorRotations = flywheel->GetState().position * 2.0 / (2 * M_PI);
  // Within a step's turning: a controller reads the shaft at its own tick.
  EXPECT_NEAR(leader.GetPosition(), motorRotations, 0.01);
  EXPECT_NEAR(follower.GetPosition(), motorRotations, 0.01);
  EXPECT_GT(follower.GetOutputCurrent(), 1.0);
  EXPECT_NEAR(follower.GetOutputCurrent(), leader.GetOutputCurrent(),
              0.1 * leader.GetOutputCurrent());

  flywheel->SetPhysicsHook([](tavrix::sim::PhysicsStep& step) {
    step.stateGiven = true;
    step.end = {step.start.position + 100.0 * step.dtS, 100.0};
  });
  RunEnabled(10, (1ull << kDevice) | (1ull << kFollower));
  EXPECT_NEAR(leader.GetVelocity(), 100.0 * 2.0 * 60.0 / (2 * M_PI), 1e-6);
}

// One's own physics model drives the rotor: the encoder and velocity read what
// is given (through the factors), the current follows from the applied voltage
// and the given speed, the built-in shaft stays put; released, the built-in
// model moves on from where the encoder reads.
TEST_F(SimMotionTest, GivenRotorStateReplacesTheMotionModelUntilReleased) {
  SimController sim(kDevice);
  ASSERT_TRUE(sim.SetParameter(param::kPositionConversionFactor,
                               {wire::FloatBits(2.0f), wire::type::kFloat32}));
  const double nan = std::nan("");
  EXPECT_FALSE(sim.SetRotorState(nan, 0.0));
  EXPECT_FALSE(sim.SetRotorState(1.0, std::numeric_limits<double>::infinity()));
  ASSERT_TRUE(sim.SetRotorState(2.5, 600.0));
  SendSetpoint(kDevice, kDutyApi, 0.5f);
  RunEnabled(20);

  const tavrix::sim::SimState s = sim.GetState();
  EXPECT_DOUBLE_EQ(s.position, 5.0);
  EXPECT_DOUBLE_EQ(s.velocity, 600.0);
  EXPECT_NEAR(s.motorVoltage, 0.5 * s.busVoltage, 1e-9);
  EXPECT_NEAR(sim.GetMotorVoltage(), s.motorVoltage, 1e-6);  // steady: the tick before reads alike
  const tavrix::sim::DcMotor m = tavrix::sim::DcMotor::Brushless();
  const double backEmf = 600.0 * 2 * M_PI / 60.0 / m.RadPerSecPerVolt();
  EXPECT_NEAR(s.outputCurrent, (s.motorVoltage - backEmf) / m.ResistanceOhm(), 1e-9);
  EXPECT_EQ(sim.GetMechanism()->GetState().velocity, 0.0);

  ASSERT_TRUE(sim.SetRotorState(3.0, -60.0));
  EXPECT_FALSE(sim.SetRotorState(nan, nan));  // refused: the last good state stays
  RunEnabled(1);
  EXPECT_DOUBLE_EQ(sim.GetPosition(), 6.0);
  EXPECT_DOUBLE_EQ(sim.GetVelocity(), -60.0);

  sim.ReleaseRotorState();
  RunEnabled(1);
  EXPECT_NEAR(sim.GetPosition(), 6.0, 0.01);
  RunEnabled(100);
  EXPECT_GT(sim.GetPosition(), 6.5);
  EXPECT_GT(sim.GetMechanism()->GetState().velocity, 0.0);
}

// The voltage read is the one the tick before the reading instant left: a
// read at a tick's own instant does not depend on whether the tick ran first.
TEST_F(SimMotionTest, MotorVoltageIsTheTickBeforeTheReadingInstant) {
  SimController sim(kDevice);
  ASSERT_TRUE(sim.SetBusVoltage(12.0));
  SendHeartbeat(1ull << kDevice);
  SendSetpoint(kDevice, kDutyApi, 0.25f);
  StepMs(1);  // the tick at 1 ms applies 3 V; a read at 1 ms sees the tick before
  EXPECT_EQ(sim.GetMotorVoltage(), 0.0);
  EXPECT_DOUBLE_EQ(sim.GetState().motorVoltage, 3.0);
  StepMs(1);
  EXPECT_DOUBLE_EQ(sim.GetMotorVoltage(), 3.0);
}

}  // namespace
