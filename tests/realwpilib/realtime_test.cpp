// The libraries on the real simulation HAL, in real time, with a controller
// that answers each request about 1 ms late. Content and order are asserted
// exactly; times only within loose bounds.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform_sim.h"
#include "realtime_fixture.h"
#include "responder.h"
#include "tavrix/CANTavrix.h"
#include "wall_clock.h"

namespace {

using namespace realwpilib_test;

TEST_F(RealPlatformTest, SweepThenHeartbeatsAndSetpointsInOrder) {
  zem::CANTavrix motor(1, kMotor);
  motor.Set(0.5);
  constexpr size_t kEnough = 8;
  const uint32_t setpointId = wire::ComposeId(1, wire::kSetpointApiIds[0]);
  ASSERT_TRUE(bus.WaitFor(
      [&](const realwpilib::Frames& sent) {
        size_t beats = 0;
        size_t halves = 0;
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
  realwpilib::Frames beats;
  realwpilib::Frames setpoints;
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

TEST_F(RealPlatformTest, StatusReadsGiveTheNewestFrameAndItsAge) {
  zem::CANTavrix motor(1, kMotor);
  const uint32_t status0 = wire::ComposeId(1, wire::api::kStatus0);
  using Frame = zem::CANTavrixLowLevel::PeriodicFrame;
  constexpr double kOutputLsb = 1.0 / wire::kAppliedOutputScale;
  EXPECT_EQ(motor.GetStatusFrameAgeMs(Frame::kStatus0), zem::CANTavrixLowLevel::kNoStatusFrame);

  bus.Publish(status0, wire::EncodeStatus0(0.25, 0, 0, false), 8);
  EXPECT_NEAR(motor.GetAppliedOutput(), 0.25, kOutputLsb);
  EXPECT_LT(motor.GetStatusFrameAgeMs(Frame::kStatus0), kLongMs);

  // Once the kept frame is older than the frame period a newer one is read.
  constexpr auto kPastPeriod = milliseconds(2 * wire::kDefaultStatus0PeriodMs);
  std::this_thread::sleep_for(kPastPeriod);
  bus.Publish(status0, wire::EncodeStatus0(-0.5, 0, 0, false), 8);
  EXPECT_NEAR(motor.GetAppliedOutput(), -0.5, kOutputLsb);

  // Then silence: beyond the CAN timeout plus two periods the frame counts as
  // missing, and its age tells how long the controller has been quiet.
  constexpr auto kPastTimeout =
      milliseconds(2 * (wire::kDefaultCanTimeoutMs + 2 * wire::kDefaultStatus0PeriodMs));
  std::this_thread::sleep_for(kPastTimeout);
  EXPECT_EQ(motor.GetAppliedOutput(), 0.0);
  EXPECT_GE(motor.GetStatusFrameAgeMs(Frame::kStatus0), kPastTimeout.count());
}

TEST_F(RealPlatformTest, DestructionSendsOnlyThePlatformsStopMessages) {
  constexpr int32_t kDevice = 1;
  const uint32_t setpointId = wire::ComposeId(kDevice, wire::kSetpointApiIds[0]);
  size_t before = 0;
  std::set<uint32_t> expectedStops;
  {
    zem::CANTavrix motor(kDevice, kMotor);
    motor.Set(0.5);
    motor.SetSmartCurrentLimit(30);
    const realwpilib::Frames sent = bus.Sent();
    before = sent.size();
    // Every API id the object wrote through its CAN handle.
    const realwpilib::Frames driver = realwpilib::DriverFrames(sent);
    for (const auto& f : sent) {
      const bool fromDriver = std::any_of(driver.begin(), driver.end(), [&](const auto& d) {
        return d.at == f.at && d.id == f.id;
      });
      if (!fromDriver && wire::DeviceOf(f.id) == kDevice && wire::IsControllerId(f.id)) {
        expectedStops.insert(realwpilib::PlatformStopId(kDevice, wire::ApiOf(f.id)));
      }
    }
  }
  ASSERT_FALSE(expectedStops.empty());
  // The device stays registered: its last setpoint keeps going out.
  ASSERT_TRUE(bus.WaitFor(
      [&](const realwpilib::Frames& sent) {
        size_t halves = 0;
        for (size_t i = before; i < sent.size(); ++i) {
          halves += sent[i].id == setpointId && SetpointValue(sent[i]) == 0.5f;
        }
        return halves >= 3;
      },
      kBound));
  const realwpilib::Frames sent = bus.Sent();
  const realwpilib::Frames after(sent.begin() + static_cast<std::ptrdiff_t>(before), sent.end());
  std::set<uint32_t> stops;
  for (const auto& f : after) {
    if (IsHeartbeat(f) || f.id == setpointId) continue;
    EXPECT_EQ(f.size, 0) << std::hex << f.id;
    EXPECT_EQ(f.periodMs, -1) << std::hex << f.id;
    stops.insert(f.id);
  }
  EXPECT_EQ(stops, expectedStops);
}

}  // namespace
