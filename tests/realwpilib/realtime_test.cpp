// The libraries on the real simulation HAL, in real time, with a controller
// that answers each request about 1 ms late. Content and order are asserted
// exactly; times only within loose bounds.
#include <chrono>
#include <string>
#include <vector>

#include <frc/PWM.h>
#include <gtest/gtest.h>
#include <mockdata/PWMData.h>

#include "responder.h"
#include "tavrix/CANTavrix.h"
#include "tavrix/Tavrix.h"
#include "wall_clock.h"

namespace {

namespace wire = zem::wire;
using std::chrono::milliseconds;
using Param = zem::CANTavrixLowLevel::ConfigParameter;
using Status = zem::CANTavrixLowLevel::ParameterStatus;
constexpr auto kMotor = zem::CANTavrixLowLevel::MotorType::kMotorKind1;
constexpr auto kBound = tavrix_test::WallBound(milliseconds(3000));
// Upper bounds of measured times, in ms.
constexpr double kLongMs = 1000.0 * tavrix_test::kWallTimeFactor;

class RealPlatformTest : public ::testing::Test {
 protected:
  realwpilib::Responder& bus = realwpilib::Responder::Install();
};

bool IsHeartbeat(const realwpilib::SentFrame& f) { return f.id == wire::kHeartbeatId; }
uint64_t Mask(const realwpilib::SentFrame& f) { return wire::DecodeHeartbeat(f.data.data(), 8); }
float SetpointValue(const realwpilib::SentFrame& f) {
  return wire::DecodeSetpoint(f.data.data(), f.size).value;
}

double MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// Mean gap between consecutive frames, in ms.
double MeanGapMs(const realwpilib::Frames& frames) {
  if (frames.size() < 2) return 0.0;
  const std::chrono::duration<double, std::milli> span = frames.back().at - frames.front().at;
  return span.count() / static_cast<double>(frames.size() - 1);
}

TEST_F(RealPlatformTest, SweepThenHeartbeatsAndSetpointsInOrder) {
  zem::CANTavrix motor(1, kMotor);
  motor.Set(0.5);
  constexpr size_t kEnough = 8;
  const uint32_t setpointId = wire::ComposeId(1, wire::kSetpointApiIds[0]);
  ASSERT_TRUE(bus.WaitFor(
      [&](const realwpilib::Frames& sent) {
        size_t beats = 0, halves = 0;
        for (const auto& f : sent) {
          beats += IsHeartbeat(f) && Mask(f) == 2u;
          halves += f.id == setpointId && f.size == 8 && SetpointValue(f) == 0.5f;
        }
        return beats >= kEnough && halves >= kEnough;
      },
      kBound));
  const realwpilib::Frames frames = realwpilib::DriverFrames(bus.Sent());

  // Devices 0..62, each: stop every setpoint id in sweep order, and one zero
  // setpoint on the first right after its stop.
  size_t i = 0;
  for (int32_t device = 0; device <= 62; ++device) {
    for (size_t j = 0; j < wire::kSweepApiIds.size(); ++j) {
      const uint32_t id = wire::ComposeId(device, wire::kSweepApiIds[j]);
      ASSERT_LT(i, frames.size());
      EXPECT_EQ(frames[i].id, id) << "sweep frame " << i;
      EXPECT_EQ(frames[i].size, 0);
      EXPECT_EQ(frames[i].periodMs, -1);
      ++i;
      if (j != 0) continue;
      EXPECT_EQ(frames[i].id, id) << "sweep frame " << i;
      EXPECT_EQ(frames[i].size, 8);
      EXPECT_EQ(frames[i].data, wire::Payload{});
      EXPECT_EQ(frames[i].periodMs, 0);
      ++i;
    }
  }

  // Then only heartbeats (no device until it registered, device 1 from then
  // on) and device 1's setpoints (zero until Set, 0.5 from then on).
  realwpilib::Frames beats, setpoints;
  for (; i < frames.size(); ++i) {
    const auto& f = frames[i];
    if (IsHeartbeat(f)) {
      EXPECT_EQ(f.size, 8);
      EXPECT_TRUE(Mask(f) == 2u || (Mask(f) == 0u && beats.empty())) << "heartbeat " << Mask(f);
      if (Mask(f) == 2u) beats.push_back(f);
    } else {
      ASSERT_EQ(f.id, setpointId);
      EXPECT_EQ(f.size, 8);
      EXPECT_EQ(f.periodMs, 0);
      const float value = SetpointValue(f);
      EXPECT_TRUE(value == 0.5f || (value == 0.0f && setpoints.empty())) << "setpoint " << value;
      if (value == 0.5f) setpoints.push_back(f);
    }
  }
  // Periods of 25 and 10 ms, within loose bounds for a loaded machine.
  EXPECT_GT(MeanGapMs(beats), 15.0);
  EXPECT_LT(MeanGapMs(beats), 60.0 * tavrix_test::kWallTimeFactor);
  EXPECT_GT(MeanGapMs(setpoints), 5.0);
  EXPECT_LT(MeanGapMs(setpoints), 40.0 * tavrix_test::kWallTimeFactor);
}

TEST_F(RealPlatformTest, ConstructionReadsTheFirmwareAndReportsNothing) {
  testing::internal::CaptureStderr();
  zem::CANTavrix motor(1, kMotor);
  const std::string reported = testing::internal::GetCapturedStderr();
  EXPECT_EQ(reported.find("TAVRIX"), std::string::npos) << reported;
  EXPECT_EQ(motor.GetFirmwareString(), "v1.4.0");
  EXPECT_EQ(motor.GetFirmwareVersion(), realwpilib::Responder::kFirmware);
}

TEST_F(RealPlatformTest, ParameterReadsGiveTheValueHeldNow) {
  zem::CANTavrix motor(1, kMotor);
  const auto kParameter = Param::kSmartCurrentLimit;
  for (const uint32_t held : {1u, 0u, 1u, 40u, 0u}) {
    bus.HoldParameter(static_cast<int32_t>(kParameter), held);
    uint32_t read = 12345;
    ASSERT_EQ(motor.GetParameter(kParameter, read), Status::kOK) << "holding " << held;
    EXPECT_EQ(read, held);
  }
  for (const auto type : {zem::CANTavrixLowLevel::MotorType::kMotorKind0, kMotor}) {
    bus.HoldParameter(static_cast<int32_t>(Param::kMotorType), static_cast<uint32_t>(type));
    EXPECT_EQ(motor.GetMotorType(), type);
  }
}

TEST_F(RealPlatformTest, SilentControllerTimesOutAfterTheCanTimeout) {
  bus.SetSilent(true);
  testing::internal::CaptureStderr();
  auto start = std::chrono::steady_clock::now();
  zem::CANTavrix device(1, kMotor);
  const double constructedMs = MsSince(start);
  const std::string reported = testing::internal::GetCapturedStderr();
  EXPECT_NE(reported.find("Unable to retrieve TAVRIX firmware version for CAN ID: 1"),
            std::string::npos)
      << reported;
  // Up to ten 10 ms reads for the firmware.
  EXPECT_GE(constructedMs, 80.0);
  EXPECT_LT(constructedMs, 3 * kLongMs);

  uint32_t read = 7;
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(device.GetParameter(Param::kSmartCurrentLimit, read), Status::kTimeout);
  const double waitedMs = MsSince(start);
  EXPECT_EQ(read, 7u);
  EXPECT_GE(waitedMs, wire::kDefaultCanTimeoutMs - 5.0);
  EXPECT_LT(waitedMs, kLongMs);
}

TEST_F(RealPlatformTest, FollowerCommandsSucceedOnTheirOwnEcho) {
  zem::CANTavrix leader(1, kMotor);
  zem::CANTavrix follower(2, kMotor);
  // Two different commands in a row: each must be matched against its own echo.
  EXPECT_EQ(follower.Follow(leader), zem::CANError::kSuccess);
  EXPECT_EQ(follower.Follow(leader, true), zem::CANError::kSuccess);
  std::vector<wire::Follow> commands;
  for (const auto& f : bus.Sent()) {
    if (f.id == wire::ComposeId(2, wire::api::kFollower)) {
      commands.push_back(wire::DecodeFollow(f.data.data(), f.size));
    }
  }
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].leaderFrameId, wire::ComposeId(1, wire::api::kStatus0));
  EXPECT_FALSE(commands[0].Invert());
  EXPECT_TRUE(commands[1].Invert());
}

void NoteLatch(const char*, void* param, const HAL_Value* value) {
  if (value->data.v_boolean) *static_cast<bool*>(param) = true;
}

TEST_F(RealPlatformTest, PwmControllerSetsItsChannel) {
  constexpr int kChannel = 3;
  bool latched = false;
  const int32_t uid = HALSIM_RegisterPWMZeroLatchCallback(kChannel, &NoteLatch, &latched, false);
  {
    zem::Tavrix pwm(kChannel);
    EXPECT_TRUE(HALSIM_GetPWMInitialized(kChannel));
    EXPECT_EQ(HALSIM_GetPWMSpeed(kChannel), 0.0);
    EXPECT_EQ(HALSIM_GetPWMPeriodScale(kChannel), 0);  // every period, no skipped pulses
    EXPECT_TRUE(latched);

    frc::PWM reference(kChannel + 1);
    reference.SetBounds(2.003, 1.55, 1.5, 1.46, 0.999);
    std::vector<int32_t> expected(5), actual(5);
    reference.GetRawBounds(&expected[0], &expected[1], &expected[2], &expected[3], &expected[4]);
    pwm.GetRawBounds(&actual[0], &actual[1], &actual[2], &actual[3], &actual[4]);
    EXPECT_EQ(actual, expected);

    pwm.Set(0.5);
    EXPECT_EQ(HALSIM_GetPWMSpeed(kChannel), 0.5);
    pwm.SetInverted(true);
    pwm.Set(0.5);
    EXPECT_EQ(HALSIM_GetPWMSpeed(kChannel), -0.5);
  }
  EXPECT_FALSE(HALSIM_GetPWMInitialized(kChannel));
  HALSIM_CancelPWMZeroLatchCallback(kChannel, uid);
}

}  // namespace
