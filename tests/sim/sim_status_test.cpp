// Status frames of the simulated controller: periods, period commands and the
// encoding of what they carry, read back with the library's decoders.
#include "sim_bus.h"

namespace {

using namespace simtest;
using tavrix::sim::BusFaults;
using tavrix::sim::LimitSwitch;
using tavrix::sim::SimController;

class SimStatusTest : public SimTest {};

TEST_F(SimStatusTest, DefaultPeriodsAndSpacing) {
  SimController sim(kDevice);
  StepMs(100);
  EXPECT_EQ(Delivered(kDevice, api::kStatus0).size(), 10u);
  EXPECT_EQ(Delivered(kDevice, api::kStatus1).size(), 5u);
  EXPECT_EQ(Delivered(kDevice, api::kStatus2).size(), 2u);
  const auto frames = Delivered(kDevice, api::kStatus1);
  for (size_t i = 1; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].timestampUs - frames[i - 1].timestampUs, 20000u);
    EXPECT_EQ(frames[i].dataSize, 8);
  }
}

TEST_F(SimStatusTest, PeriodCommandChangesAndStopsAFrame) {
  SimController sim(kDevice);
  Send(kDevice, api::kStatus1, wire::EncodePeriodCommand(5));
  Send(kDevice, api::kStatus2, wire::EncodePeriodCommand(0));
  StepMs(100);
  EXPECT_EQ(Delivered(kDevice, api::kStatus1).size(), 20u);
  EXPECT_TRUE(Delivered(kDevice, api::kStatus2).empty());
  EXPECT_EQ(sim.GetState().statusPeriodMs[1], 5);
  EXPECT_EQ(sim.GetState().counts.periodCommands, 2u);
}

TEST_F(SimStatusTest, TelemetryEncodesAsTheLibraryDecodes) {
  tavrix::sim::SimOptions options;
  options.busVoltage = 25.0;
  SimController sim(kDevice, options);
  Send(kDevice, api::kSetEncoderPosition, wire::EncodeValueFrame(wire::FloatBits(1.5f), 2));
  Send(kDevice, api::kSetIAccum, wire::EncodeValueFrame(wire::FloatBits(-2.5f), 2));
  StepMs(50);
  const auto s1 = LastDelivered(kDevice, api::kStatus1);
  const auto s2 = LastDelivered(kDevice, api::kStatus2);
  ASSERT_TRUE(s1 && s2);
  const wire::Status1 st1 = wire::DecodeStatus1(s1->data, s1->dataSize, 1.0);
  EXPECT_DOUBLE_EQ(st1.busVoltage, 25.0);
  EXPECT_EQ(st1.motorTemperature, 25);
  EXPECT_EQ(st1.velocity, 0.0);
  const wire::Status2 st2 = wire::DecodeStatus2(s2->data, s2->dataSize, 1.0);
  EXPECT_EQ(st2.position, 1.5);
  EXPECT_EQ(st2.iAccum, -2.5);
  EXPECT_EQ(sim.GetState().counts.encoderPositionSets, 1u);
}

TEST_F(SimStatusTest, NonFiniteStateOverwritesAreRejected) {
  SimController sim(kDevice);
  Send(kDevice, api::kSetEncoderPosition, wire::EncodeValueFrame(wire::FloatBits(2.0f), 2));
  Send(kDevice, api::kSetEncoderPosition, wire::EncodeValueFrame(0x7FC00000u, 2));  // NaN
  Send(kDevice, api::kSetIAccum, wire::EncodeValueFrame(0x7F800000u, 2));           // +inf
  EXPECT_EQ(sim.GetState().position, 2.0);
  EXPECT_EQ(sim.GetState().iAccum, 0.0);
  EXPECT_EQ(sim.GetState().counts.rejected, 2u);
}

TEST_F(SimStatusTest, FaultsStickyFaultsAndClearFaults) {
  SimController sim(kDevice);
  sim.SetFaultBits(0xC001);  // the switch bits are not injectable
  sim.SetLimitSwitch(LimitSwitch::kReverse, true);
  StepMs(10);
  auto frame = LastDelivered(kDevice, api::kStatus0);
  ASSERT_TRUE(frame);
  wire::Status0 s0 = wire::DecodeStatus0(frame->data, frame->dataSize, 1.0);
  EXPECT_EQ(s0.faults, 0x8001);
  EXPECT_EQ(s0.stickyFaults, 0x8001);
  EXPECT_FALSE(s0.isFollower);

  sim.SetFaultBits(0);
  sim.SetLimitSwitch(LimitSwitch::kReverse, false);
  StepMs(10);
  frame = LastDelivered(kDevice, api::kStatus0);
  s0 = wire::DecodeStatus0(frame->data, frame->dataSize, 1.0);
  EXPECT_EQ(s0.faults, 0);
  EXPECT_EQ(s0.stickyFaults, 0x8001);

  SendEmpty(kDevice, api::kClearFaults);
  StepMs(10);
  frame = LastDelivered(kDevice, api::kStatus0);
  EXPECT_EQ(wire::DecodeStatus0(frame->data, frame->dataSize, 1.0).stickyFaults, 0);
}

TEST_F(SimStatusTest, UnpluggedControllerSendsNoStatusFrames) {
  SimController sim(kDevice);
  BusFaults faults;
  faults.statusFramesStopped = true;
  sim.SetBusFaults(faults);
  StepMs(100);
  for (int apiId : {api::kStatus0, api::kStatus1, api::kStatus2}) {
    EXPECT_TRUE(Delivered(kDevice, apiId).empty()) << apiId;
  }
  sim.SetBusFaults(BusFaults());
  StepMs(10);
  EXPECT_EQ(Delivered(kDevice, api::kStatus0).size(), 1u);
}

}  // namespace
