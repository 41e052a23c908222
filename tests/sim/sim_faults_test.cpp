// Injected bus faults of the simulated controller, and attaching rules.
#include <cmath>

#include "sim_bus.h"
#include "tavrix/sim/ParameterIds.h"

namespace {

using namespace simtest;
using tavrix::sim::BusFaults;
using tavrix::sim::MotorModel;
using tavrix::sim::SimController;
using tavrix::sim::SimOptions;
namespace param = tavrix::sim::param;

const int kParameterApi = wire::ParameterApiId(param::kIdleMode);

wire::Payload AnyFollowCommand() {
  return wire::EncodeFollow(wire::ComposeId(1, api::kStatus0),
                            wire::FollowConfigWord(wire::kLeaderKindController, false));
}

// Sends the three requests that are answered: firmware, a parameter read, a follower command.
void SendRequests() {
  SendEmpty(kDevice, api::kFirmwareVersion);
  SendEmpty(kDevice, kParameterApi);
  Send(kDevice, api::kFollower, AnyFollowCommand());
}

class SimFaultsTest : public SimTest {};

TEST_F(SimFaultsTest, SilentControllerAnswersNothing) {
  SimController sim(kDevice);
  BusFaults faults;
  faults.silent = true;
  sim.SetBusFaults(faults);
  SendRequests();
  StepMs(20);
  for (int apiId : {api::kFirmwareVersion, kParameterApi, api::kFollower}) {
    EXPECT_TRUE(Delivered(kDevice, apiId).empty()) << apiId;
  }
  EXPECT_FALSE(Delivered(kDevice, api::kStatus0).empty());  // still on the bus
}

TEST_F(SimFaultsTest, DelayedRepliesArriveLaterOnTheSimulatedClock) {
  SimController sim(kDevice);
  BusFaults faults;
  faults.replyDelayUs = 5000;
  sim.SetBusFaults(faults);
  SendRequests();
  const uint64_t sentUs =
      halsim::GetCanTraceForId(wire::ComposeId(kDevice, api::kFollower)).back().timestampUs;
  StepMs(4);
  for (int apiId : {api::kFirmwareVersion, kParameterApi, api::kFollower}) {
    EXPECT_TRUE(Delivered(kDevice, apiId).empty()) << apiId;
  }
  StepMs(1);
  for (int apiId : {api::kFirmwareVersion, kParameterApi, api::kFollower}) {
    const auto reply = LastDelivered(kDevice, apiId);
    ASSERT_TRUE(reply) << apiId;
    EXPECT_EQ(reply->timestampUs, sentUs + 5000) << apiId;
  }
}

TEST_F(SimFaultsTest, ShortRepliesAreCut) {
  SimController sim(kDevice);
  BusFaults faults;
  faults.replyLength = 3;
  sim.SetBusFaults(faults);
  SendRequests();
  for (int apiId : {api::kFirmwareVersion, kParameterApi, api::kFollower}) {
    const auto reply = LastDelivered(kDevice, apiId);
    ASSERT_TRUE(reply) << apiId;
    EXPECT_EQ(reply->dataSize, 3) << apiId;
  }
  faults.replyLength = 0;
  sim.SetBusFaults(faults);
  SendEmpty(kDevice, api::kFirmwareVersion);
  EXPECT_EQ(LastDelivered(kDevice, api::kFirmwareVersion)->dataSize, 0);
}

TEST_F(SimFaultsTest, CorruptedFollowerEchoDiffersInItsLastByte) {
  SimController sim(kDevice);
  BusFaults faults;
  faults.corruptFollowerEcho = true;
  sim.SetBusFaults(faults);
  const wire::Payload command = AnyFollowCommand();
  Send(kDevice, api::kFollower, command);
  const auto echo = LastDelivered(kDevice, api::kFollower);
  ASSERT_TRUE(echo);
  EXPECT_TRUE(std::equal(command.begin(), command.end() - 1, echo->data));
  EXPECT_NE(echo->data[7], command[7]);
  EXPECT_TRUE(sim.GetState().isFollower);  // the command itself was obeyed
}

TEST_F(SimFaultsTest, AttachRules) {
  SimController first(kDevice);
  SimController duplicate(kDevice);
  EXPECT_TRUE(first.IsAttached());
  EXPECT_FALSE(duplicate.IsAttached());
  EXPECT_FALSE(first.Attach());  // attached already
  for (int bad : {-1, 64}) EXPECT_FALSE(SimController(bad).IsAttached()) << bad;

  first.Detach();
  halsim::ClearCanTrace();
  StepMs(20);
  SendEmpty(kDevice, api::kFirmwareVersion);
  EXPECT_TRUE(halsim::GetCanTrace().size() == 1u);  // only the request: nobody answers

  EXPECT_TRUE(duplicate.Attach());
  SendEmpty(kDevice, api::kFirmwareVersion);
  EXPECT_TRUE(LastDelivered(kDevice, api::kFirmwareVersion));

  // A fresh state within the process: nobody on the bus, nothing on it, no
  // records, and the clock back under the test's steps.
  HALSIM_ResumeTiming();
  tavrix::sim::ResetSimulation();
  EXPECT_FALSE(duplicate.IsAttached());
  EXPECT_TRUE(HALSIM_IsTimingPaused());
  EXPECT_TRUE(halsim::GetCanTrace().empty());
  uint32_t id = wire::ComposeId(kDevice, api::kFirmwareVersion);
  uint8_t data[8];
  uint8_t size = 0;
  uint32_t stampMs = 0;
  int32_t status = 0;
  HAL_CAN_ReceiveMessage(&id, 0x1FFFFFFF, data, &size, &stampMs, &status);
  EXPECT_NE(status, 0);  // the earlier reply is gone
  SendEmpty(kDevice, api::kFirmwareVersion);
  EXPECT_FALSE(LastDelivered(kDevice, api::kFirmwareVersion));

  EXPECT_TRUE(duplicate.Attach());  // the objects stay, and the tick starts again
  RunEnabled(40);
  EXPECT_TRUE(LastDelivered(kDevice, api::kStatus0));
}

TEST_F(SimFaultsTest, InvalidSettingsAreRefused) {
  SimOptions options;
  options.busVoltage = std::nan("");
  options.motor.coolingTimeConstantS = -1.0;
  SimController sim(kDevice, options);
  EXPECT_EQ(sim.GetState().busVoltage, tavrix::sim::GetBattery().openCircuitVolts);
  EXPECT_FALSE(sim.SetBusVoltage(-1.0));
  EXPECT_FALSE(sim.SetBusVoltage(HUGE_VAL));  // the double infinity
  EXPECT_TRUE(sim.SetBusVoltage(0.0));
  MotorModel bad;
  bad.motor = tavrix::sim::DcMotor();
  bad.motor->stallCurrentA = 0.0;
  EXPECT_FALSE(sim.SetMotorModel(bad));
  EXPECT_FALSE(tavrix::sim::SetBattery({12.0, -0.1}));
  EXPECT_FALSE(sim.SetParameter(param::kIdleMode, {1u, 4}));
  EXPECT_FALSE(sim.SetParameter(300, {1u, 1}));
  EXPECT_FALSE(sim.GetParameter(-1).has_value());
}

}  // namespace
