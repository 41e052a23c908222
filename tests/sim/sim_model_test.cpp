// The simulated controller's PID step and motor model, without the bus.
#include <gtest/gtest.h>

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

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

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
      {"clamped to max", 10.0, -0.5, 0.5, 0.5},
      {"clamped to -1..1", 10.0, -5.0, 5.0, 1.0},
      {"inverted range", 1.0, 0.5, -0.5, 0.0},
      {"NaN gain", kNaN, -1.0, 1.0, 0.0},
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

TEST(SimMotorModel, CoolsTowardAmbientAndIgnoresNaNVoltage) {
  const MotorModel m;
  MotorState s;
  s.temperatureC = 80.0;
  for (int i = 0; i < 1000; ++i) StepMotor(m, MotorDrive{kNaN, 0.0}, 0.001, &s);
  EXPECT_EQ(s.velocityRpm, 0.0);
  EXPECT_EQ(s.currentA, 0.0);
  EXPECT_LT(s.temperatureC, 80.0);
  EXPECT_GT(s.temperatureC, m.ambientTemperatureC);
}

}  // namespace
