// Follower mode of the simulated controller: the echo, following a leader's
// status frame 0 on the bus, and the end of following.
#include "sim_bus.h"

namespace {

using namespace simtest;
using tavrix::sim::BusFaults;
using tavrix::sim::SimController;

constexpr int kLeader = 5;
constexpr int kFollower = 6;
constexpr uint64_t kBothEnabled = (1ull << kLeader) | (1ull << kFollower);
constexpr int kDutyApi = wire::kSetpointApiIds[0];

wire::Payload FollowCommand(int leader, bool invert) {
  return wire::EncodeFollow(wire::ComposeId(leader, api::kStatus0),
                            wire::FollowConfigWord(wire::kLeaderKindController, invert));
}

bool StatusSaysFollower(int device) {
  const auto frame = LastDelivered(device, api::kStatus0);
  return frame && wire::DecodeStatus0(frame->data, frame->dataSize, 1.0).isFollower;
}

class SimFollowerTest : public SimTest {
 protected:
  SimController leader_{kLeader};
  SimController follower_{kFollower};
};

TEST_F(SimFollowerTest, EchoesTheFollowerCommand) {
  const wire::Payload command = FollowCommand(kLeader, true);
  Send(kFollower, api::kFollower, command);
  const auto echo = LastDelivered(kFollower, api::kFollower);
  ASSERT_TRUE(echo);
  ASSERT_EQ(echo->dataSize, 8);
  EXPECT_TRUE(std::equal(command.begin(), command.end(), echo->data));
  EXPECT_EQ(follower_.GetState().counts.followerCommands, 1u);
}

TEST_F(SimFollowerTest, AppliesTheLeadersOutputNegatedWhenInverted) {
  Send(kFollower, api::kFollower, FollowCommand(kLeader, true));
  SendSetpoint(kLeader, kDutyApi, 0.5f);
  SendSetpoint(kFollower, kDutyApi, 0.9f);  // a follower keeps following
  RunEnabled(50, kBothEnabled);
  EXPECT_NEAR(follower_.GetAppliedOutput(), -0.5, 1e-4);
  EXPECT_TRUE(follower_.GetState().isFollower);
  EXPECT_TRUE(StatusSaysFollower(kFollower));
  EXPECT_FALSE(StatusSaysFollower(kLeader));

  Send(kFollower, api::kFollower, FollowCommand(kLeader, false));
  RunEnabled(20, kBothEnabled);
  EXPECT_NEAR(follower_.GetAppliedOutput(), 0.5, 1e-4);
}

TEST_F(SimFollowerTest, StopsWhenTheLeaderFallsSilent) {
  Send(kFollower, api::kFollower, FollowCommand(kLeader, false));
  SendSetpoint(kLeader, kDutyApi, 0.5f);
  RunEnabled(50, kBothEnabled);
  ASSERT_GT(follower_.GetAppliedOutput(), 0.4);
  BusFaults unplugged;
  unplugged.statusFramesStopped = true;
  leader_.SetBusFaults(unplugged);
  RunEnabled(120, kBothEnabled);
  EXPECT_EQ(follower_.GetAppliedOutput(), 0.0);
  EXPECT_TRUE(follower_.GetState().isFollower);
}

TEST_F(SimFollowerTest, LeaderIdZeroEndsFollowing) {
  Send(kFollower, api::kFollower, FollowCommand(kLeader, false));
  Send(kFollower, api::kFollower, wire::EncodeFollow(0, 0));
  SendSetpoint(kLeader, kDutyApi, 0.5f);
  SendSetpoint(kFollower, kDutyApi, -0.25f);
  RunEnabled(20, kBothEnabled);
  EXPECT_FALSE(follower_.GetState().isFollower);
  EXPECT_NEAR(follower_.GetAppliedOutput(), -0.25, 1e-9);
  EXPECT_FALSE(StatusSaysFollower(kFollower));
}

TEST_F(SimFollowerTest, ShortCommandIsRejectedWithoutEcho) {
  const wire::Payload command = FollowCommand(kLeader, false);
  Send(kFollower, api::kFollower, command.data(), 7);
  EXPECT_FALSE(LastDelivered(kFollower, api::kFollower));
  EXPECT_FALSE(follower_.GetState().isFollower);
  EXPECT_EQ(follower_.GetState().counts.rejected, 1u);
}

}  // namespace
