// Follower mode: the exact follower command for a leader of this kind and for
// an external leader, leader numbers reduced to their 6 bits, the echo check,
// the follower bit, and a robot-style program with a leader and a follower.
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <hal/simulation/DriverStationData.h>

#include "bus_fixture.h"
#include "tavrix/CANTavrix.h"
#include "tavrix/sim/SimController.h"

namespace {

using namespace tavrix_test;
using tavrix::sim::BusFaults;
using tavrix::sim::SimController;
using zem::CANError;
using zem::CANTavrix;
using Motor = zem::CANTavrixLowLevel::MotorType;

constexpr int32_t kFollowerId = 7;
constexpr int32_t kLeaderId = 5;

class FollowerTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    followerSim = std::make_unique<SimController>(kFollowerId);
    leaderSim = std::make_unique<SimController>(kLeaderId);
    follower = std::make_unique<CANTavrix>(kFollowerId, Motor::kMotorKind1);
    leader = std::make_unique<CANTavrix>(kLeaderId, Motor::kMotorKind1);
  }
  // The follower command of the last Follow call.
  static Bytes SentCommand() {
    const auto frames = RobotFrames(kFollowerId, wire::api::kFollower);
    return frames.empty() ? Bytes{} : PayloadOf(frames.back());
  }
  std::unique_ptr<SimController> followerSim;
  std::unique_ptr<SimController> leaderSim;
  std::unique_ptr<CANTavrix> follower;
  std::unique_ptr<CANTavrix> leader;
};

TEST_F(FollowerTest, FollowSendsTheLeaderAndTheConfigWord) {
  EXPECT_EQ(CANTavrix::kFollowerTavrix.leaderFrameId, 0x02051800u);
  EXPECT_EQ(CANTavrix::kFollowerTavrix.leaderKind, 26u);
  EXPECT_EQ(follower->Follow(*leader, true), CANError::kSuccess);
  EXPECT_EQ(SentCommand(), (Bytes{0x05, 0x18, 0x05, 0x02, 0x00, 0x00, 0x04, 0x1A}));
  // The follower's own inversion plays no part.
  follower->SetInverted(true);
  EXPECT_EQ(follower->Follow(*leader, false), CANError::kSuccess);
  EXPECT_EQ(SentCommand(), (Bytes{0x05, 0x18, 0x05, 0x02, 0x00, 0x00, 0x00, 0x1A}));
}

TEST_F(FollowerTest, ExternalLeaders) {
  struct Case {
    std::string name;
    CANTavrix::ExternalFollower leaderKind;
    int deviceNumber;
    bool invert;
    Bytes sent;
  };
  const std::vector<Case> cases = {
      {"own kind", CANTavrix::kFollowerTavrix, 5, true, {0x05, 0x18, 0x05, 0x02, 0, 0, 0x04, 0x1A}},
      {"other kind", {0x02041400, 0x1FF}, 62, false, {0x3E, 0x14, 0x04, 0x02, 0, 0, 0x00, 0xFF}},
      // Numbers beyond 6 bits would reach into the API id: only their 6 bits count.
      {"70", CANTavrix::kFollowerTavrix, 70, false, {0x06, 0x18, 0x05, 0x02, 0, 0, 0, 0x1A}},
      {"-1", CANTavrix::kFollowerTavrix, -1, false, {0x3F, 0x18, 0x05, 0x02, 0, 0, 0, 0x1A}},
      {"min",
       CANTavrix::kFollowerTavrix,
       std::numeric_limits<int>::min(),
       true,
       {0x00, 0x18, 0x05, 0x02, 0, 0, 0x04, 0x1A}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(follower->Follow(c.leaderKind, c.deviceNumber, c.invert), CANError::kSuccess)
        << c.name;
    EXPECT_EQ(SentCommand(), c.sent) << c.name;
  }
  SimController busSix(6);  // a leader object numbered 70 is masked the same way
  CANTavrix farLeader(70, Motor::kMotorKind1);
  follower->Follow(farLeader, false);
  EXPECT_EQ(SentCommand(), (Bytes{0x06, 0x18, 0x05, 0x02, 0, 0, 0, 0x1A}));
}

TEST_F(FollowerTest, EchoDecidesTheResult) {
  BusFaults corrupt;
  BusFaults shortReply;
  BusFaults silent;
  corrupt.corruptFollowerEcho = true;
  shortReply.replyLength = 7;
  silent.silent = true;
  const std::vector<std::pair<BusFaults, CANError>> cases = {{BusFaults(), CANError::kSuccess},
                                                             {corrupt, CANError::kFailed},
                                                             {shortReply, CANError::kFailed},
                                                             {silent, CANError::kNoReply}};
  for (const auto& [faults, result] : cases) {
    followerSim->SetBusFaults(faults);
    follower->SetCANTimeout(2);
    ClearBus();
    EXPECT_EQ(follower->Follow(*leader, true), result);
    // One command; "new" reads of the echo only: the discard, then the looks.
    EXPECT_EQ(RobotFrames(kFollowerId, wire::api::kFollower).size(), 1u);
    const auto reads = halsim::GetCanReads();
    ASSERT_GE(reads.size(), 2u);
    for (const auto& read : reads) {
      EXPECT_EQ(read.messageID, wire::ComposeId(kFollowerId, wire::api::kFollower));
      EXPECT_EQ(read.kind, halsim::CanReadKind::kNew);
    }
  }
}

TEST_F(FollowerTest, IsFollowerReadsBitFiveOfByteSix) {
  BusFaults stopped;
  stopped.statusFramesStopped = true;
  followerSim->SetBusFaults(stopped);
  const std::vector<std::pair<uint8_t, bool>> cases = {
      {0x20, true}, {0x00, false}, {0xDF, false}, {0xFF, true}};
  for (const auto& [byte6, isFollower] : cases) {
    DeliverStatus(kFollowerId, wire::api::kStatus0, {0, 0, 0, 0, 0, 0, byte6, 0});
    EXPECT_EQ(follower->IsFollower(), isFollower) << int{byte6};
  }
}

// A robot program: the leader makes a position move on gain slot 1 and the
// follower copies its output.
TEST_F(FollowerTest, RobotProgramFollowerCopiesAPositionMove) {
  constexpr int kPositionType =
      3;  // the control type the leader's firmware regulates position with
  constexpr double kTarget = 50.0;  // rotations: far enough to saturate the output
  leaderSim->SetClosedLoopQuantity(kPositionType, tavrix::sim::ClosedLoopQuantity::kPosition);
  DriverStartup::StartThreads({kLeaderId, kFollowerId});
  HALSIM_SetDriverStationEnabled(1);

  ASSERT_EQ(follower->Follow(*leader), CANError::kSuccess);
  auto pid = leader->GetPIDController();
  auto encoder = leader->GetEncoder();
  ASSERT_EQ(pid.SetP(0.03, 1), CANError::kSuccess);
  ASSERT_EQ(pid.SetOutputRange(-0.8, 0.8, 1), CANError::kSuccess);
  ASSERT_EQ(encoder.SetPosition(0.0), CANError::kSuccess);
  ASSERT_EQ(pid.SetReference(kTarget, static_cast<zem::ControlType>(kPositionType), 1),
            CANError::kSuccess);

  double peakOutput = 0.0;
  double followerPeak = 0.0;
  for (int step = 0; step < 300; ++step) {  // three simulated seconds
    HALSIM_StepTiming(10000);
    peakOutput = std::max(peakOutput, leader->GetAppliedOutput());
    followerPeak = std::max(followerPeak, follower->GetAppliedOutput());
  }
  EXPECT_NEAR(peakOutput, 0.8, 1e-3);  // limited by slot 1's output range
  EXPECT_NEAR(followerPeak, 0.8, 1e-3);
  // P alone stops where its output no longer beats the motor's friction:
  // about 0.2 V of 12 V over a gain of 0.03, some 0.6 rotation short.
  EXPECT_NEAR(encoder.GetPosition(), kTarget - 0.6, 0.1);
  EXPECT_TRUE(follower->IsFollower());
  EXPECT_FALSE(leader->IsFollower());
  // Same motor, same outputs a frame later: the follower ends up in the same place.
  EXPECT_NEAR(follower->GetEncoder().GetPosition(), encoder.GetPosition(), 0.5);
  EXPECT_EQ(follower->Get(), 0.0);  // following is the controller's business
  HALSIM_SetDriverStationEnabled(0);
}

}  // namespace
