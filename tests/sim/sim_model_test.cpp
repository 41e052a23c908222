// The simulated controller's motor model and PID step, without the bus.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ClosedLoop.h"
#include "MotorPhysics.h"

namespace {

using tavrix::sim::MotorModel;
using tavrix::sim::detail::LoopState;
using tavrix::sim::detail::MotorDrive;
using tavrix::sim::detail::MotorState;
using tavrix::sim::detail::SlotGains;
using tavrix::sim::detail::StepClosedLoop;
using tavrix::sim::detail::StepMotor;

constexpr double kDt = 0.001;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double RunMotor(const MotorModel& m, const MotorDrive& d, int steps, MotorState* s) {
  double rotations = 0.0;
  for (int i = 0; i < steps; ++i) rotations += StepMotor(m, d, kDt, s);
  return rotations;
}

TEST(SimMotorModel, FirstOrderVelocityResponse) {
  const MotorModel m;
  MotorState s;
  const double steady = m.velocityGainRpmPerVolt * 6.0;
  RunMotor(m, MotorDrive{6.0, 0.0}, 50, &s);  // one time constant
  EXPECT_NEAR(s.velocityRpm, steady * (1.0 - std::exp(-1.0)), 1.0);
  RunMotor(m, MotorDrive{6.0, 0.0}, 1000, &s);
  EXPECT_NEAR(s.velocityRpm, steady, 0.01);
  EXPECT_NEAR(s.currentA, 0.0, 0.01);  // at speed the back EMF cancels the supply
}

TEST(SimMotorModel, PositionIntegratesVelocity) {
  const MotorModel m;
  MotorState s;
  RunMotor(m, MotorDrive{6.0, 0.0}, 1000, &s);
  const double rotations = RunMotor(m, MotorDrive{6.0, 0.0}, 1000, &s);
  EXPECT_NEAR(rotations, s.velocityRpm / 60.0, 0.01);  // one second at steady speed
}

TEST(SimMotorModel, CurrentLimitLowersTheAppliedVoltage) {
  const MotorModel m;
  MotorState s;
  StepMotor(m, MotorDrive{12.0, 30.0}, kDt, &s);
  EXPECT_DOUBLE_EQ(s.currentA, 30.0);
  EXPECT_NEAR(s.appliedVolts, 30.0 * m.windingResistanceOhm, 1e-9);
  MotorState braking;
  braking.velocityRpm = 5000.0;
  StepMotor(m, MotorDrive{-12.0, 30.0}, kDt, &braking);
  EXPECT_DOUBLE_EQ(braking.currentA, -30.0);
}

TEST(SimMotorModel, HeatsWithCurrentAndCoolsTowardAmbient) {
  const MotorModel m;
  MotorState s;
  s.temperatureC = m.ambientTemperatureC;
  RunMotor(m, MotorDrive{3.0, 0.0}, 10, &s);  // near stall: tens of amperes
  const double warmed = s.temperatureC;
  EXPECT_GT(warmed, m.ambientTemperatureC);
  MotorState hot;
  hot.temperatureC = 80.0;
  RunMotor(m, MotorDrive{0.0, 0.0}, 1000, &hot);
  EXPECT_LT(hot.temperatureC, 80.0);
  EXPECT_GT(hot.temperatureC, m.ambientTemperatureC);
}

TEST(SimMotorModel, NonFiniteVoltageDrivesNothing) {
  const MotorModel m;
  MotorState s;
  StepMotor(m, MotorDrive{kNaN, 0.0}, kDt, &s);
  EXPECT_EQ(s.velocityRpm, 0.0);
  EXPECT_EQ(s.currentA, 0.0);
}

TEST(SimMotorModel, RejectsConstantsOutOfRange) {
  EXPECT_TRUE(MotorModel().IsValid());
  MotorModel zeroTau;
  zeroTau.timeConstantS = 0.0;
  MotorModel nanGain;
  nanGain.velocityGainRpmPerVolt = kNaN;
  MotorModel negativeResistance;
  negativeResistance.windingResistanceOhm = -1.0;
  for (const MotorModel& m : {zeroTau, nanGain, negativeResistance}) EXPECT_FALSE(m.IsValid());
}

TEST(SimClosedLoop, ProportionalIntegralAndFeedForward) {
  SlotGains g;
  g.kP = 0.1;
  g.kI = 0.01;
  g.kFF = 0.05;
  LoopState s;
  // error 2: P 0.2 + I 0.02 (accumulated first) + FF 0.05 * 2
  EXPECT_NEAR(StepClosedLoop(g, 2.0, 0.0, &s), 0.32, 1e-12);
  EXPECT_NEAR(s.iAccum, 0.02, 1e-12);
}

TEST(SimClosedLoop, DerivativeActsOnTheChangeOfError) {
  SlotGains g;
  g.kD = 0.5;
  LoopState s;
  EXPECT_EQ(StepClosedLoop(g, 1.0, 0.0, &s), 0.0);  // no previous error yet
  EXPECT_NEAR(StepClosedLoop(g, 1.0, 0.5, &s), -0.25, 1e-12);
}

TEST(SimClosedLoop, IntegralZoneAndBound) {
  SlotGains g;
  g.kI = 1.0;
  g.iZone = 1.0;
  g.iMaxAccum = 0.3;
  LoopState s;
  StepClosedLoop(g, 0.5, 0.0, &s);
  StepClosedLoop(g, 0.5, 0.0, &s);
  EXPECT_DOUBLE_EQ(s.iAccum, 0.3);  // bounded
  StepClosedLoop(g, 5.0, 0.0, &s);
  EXPECT_DOUBLE_EQ(s.iAccum, 0.0);  // outside the zone the accumulator is cleared
}

TEST(SimClosedLoop, OutputRangeAndBadInput) {
  struct Case {
    const char* name;
    double kP, outputMin, outputMax, expected;
  };
  const Case cases[] = {
      {"clamped to max", 10.0, -0.5, 0.5, 0.5},
      {"clamped to -1..1", 10.0, -5.0, 5.0, 1.0},
      {"inverted range", 1.0, 0.5, -0.5, 0.0},
      {"NaN gain", kNaN, -1.0, 1.0, 0.0},
      {"NaN range", 1.0, kNaN, 1.0, 0.0},
  };
  for (const Case& c : cases) {
    SlotGains g;
    g.kP = c.kP;
    g.outputMin = c.outputMin;
    g.outputMax = c.outputMax;
    LoopState s;
    EXPECT_EQ(StepClosedLoop(g, 1.0, 0.0, &s), c.expected) << c.name;
  }
}

TEST(SimClosedLoop, NaNIntegralGainLeavesTheAccumulatorUsable) {
  SlotGains g;
  g.kI = kNaN;
  LoopState s;
  StepClosedLoop(g, 1.0, 0.0, &s);
  EXPECT_EQ(s.iAccum, 0.0);
}

}  // namespace
