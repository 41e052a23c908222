// Requests and the parameter store of the simulated controller: firmware,
// parameter round trips, defaults, burn flash, power cycle, factory defaults.
#include <frc/CAN.h>

#include "sim_bus.h"
#include "tavrix/sim/ParameterIds.h"

namespace {

using namespace simtest;
using tavrix::sim::ParameterValue;
using tavrix::sim::SimController;
namespace param = tavrix::sim::param;

// Reads a parameter over the bus as the robot does: empty request, then the reply.
std::optional<wire::ValueFrame> ReadParameter(int device, int parameterId) {
  frc::CAN can(device, wire::kManufacturer, wire::kDeviceType);
  can.WritePacket(nullptr, 0, wire::ParameterApiId(parameterId));
  frc::CANData reply{};
  if (!can.ReadPacketNew(wire::ParameterApiId(parameterId), &reply)) return std::nullopt;
  EXPECT_EQ(reply.length, wire::kValueFrameLength);
  return wire::DecodeValueFrame(reply.data, reply.length);
}

class SimProtocolTest : public SimTest {};

TEST_F(SimProtocolTest, FirmwareReplyIsReadableRightAfterTheRequest) {
  SimController sim(kDevice);
  frc::CAN can(kDevice, wire::kManufacturer, wire::kDeviceType);
  can.WritePacket(nullptr, 0, api::kFirmwareVersion);
  frc::CANData reply{};
  ASSERT_TRUE(can.ReadPacketNew(api::kFirmwareVersion, &reply));
  ASSERT_EQ(reply.length, wire::kFirmwareReplyLength);
  const wire::Firmware fw = wire::DecodeFirmware(reply.data, reply.length);
  EXPECT_GE(fw.version, wire::kMinimumFirmware);
  EXPECT_FALSE(fw.debugBuild);

  sim.SetFirmware(wire::FirmwareVersion(1, 2, 256), true);
  can.WritePacket(nullptr, 0, api::kFirmwareVersion);
  ASSERT_TRUE(can.ReadPacketNew(api::kFirmwareVersion, &reply));
  EXPECT_EQ(wire::DecodeFirmware(reply.data, reply.length).version, 0x01020100u);
  EXPECT_TRUE(wire::DecodeFirmware(reply.data, reply.length).debugBuild);
  EXPECT_EQ(sim.GetState().counts.firmwareRequests, 2u);
}

TEST_F(SimProtocolTest, ParameterRoundTripKeepsWordAndType) {
  SimController sim(kDevice);
  const struct {
    int id;
    uint32_t word;
    uint8_t type;
  } cases[] = {
      {param::kIdleMode, 1u, wire::type::kUint32},
      {param::kSmartCurrentLimitArg2, 0xFFFFFFFFu, wire::type::kInt32},  // -1
      {param::Slot(param::kP, 2), wire::FloatBits(0.5f), wire::type::kFloat32},
      {param::kForwardLimitSwitchEnabled, 0u, wire::type::kBool},
      {param::kVoltageCompensationNominalVoltage, 0u,
       wire::type::kInt32},  // disabling writes int 0
  };
  for (const auto& c : cases) {
    SendParameter(kDevice, c.id, c.word, c.type);
    const std::optional<wire::ValueFrame> v = ReadParameter(kDevice, c.id);
    ASSERT_TRUE(v.has_value()) << c.id;
    EXPECT_EQ(v->word, c.word) << c.id;
    EXPECT_EQ(v->type, c.type) << c.id;
  }
  EXPECT_EQ(sim.GetState().counts.parameterWrites, 5u);
  EXPECT_EQ(sim.GetState().counts.parameterReads, 5u);
}

TEST_F(SimProtocolTest, DefaultsSuitAMotorController) {
  SimController sim(kDevice);
  const struct {
    int id;
    uint32_t word;
    uint8_t type;
  } defaults[] = {
      {param::kSmartCurrentLimit, 80u, wire::type::kUint32},
      {param::kPositionConversionFactor, wire::FloatBits(1.0f), wire::type::kFloat32},
      {param::kVelocityConversionFactor, wire::FloatBits(1.0f), wire::type::kFloat32},
      {param::Slot(param::kOutputMin, 3), wire::FloatBits(-1.0f), wire::type::kFloat32},
      {param::Slot(param::kOutputMax, 3), wire::FloatBits(1.0f), wire::type::kFloat32},
      {param::kOpenLoopRampRate, wire::FloatBits(0.0f), wire::type::kFloat32},
      {param::Slot(param::kIMaxAccum, 3), 0u, wire::type::kFloat32},
  };
  for (const auto& d : defaults) {
    const std::optional<wire::ValueFrame> v = ReadParameter(kDevice, d.id);
    ASSERT_TRUE(v.has_value()) << d.id;
    EXPECT_EQ(v->word, d.word) << d.id;
    EXPECT_EQ(v->type, d.type) << d.id;
  }
}

TEST_F(SimProtocolTest, MalformedParameterFramesAreRejected) {
  SimController sim(kDevice);
  constexpr int kUnknownId = 200;
  EXPECT_FALSE(ReadParameter(kDevice, kUnknownId).has_value());  // unknown ids go unanswered
  SendParameter(kDevice, kUnknownId, 1u, wire::type::kUint32);
  EXPECT_FALSE(ReadParameter(kDevice, kUnknownId).has_value());
  SendParameter(kDevice, param::kIdleMode, 1u, 7);  // no such type code
  const uint8_t threeBytes[] = {1, 0, 0};
  Send(kDevice, wire::ParameterApiId(param::kIdleMode), threeBytes, 3);
  EXPECT_EQ(sim.GetParameter(param::kIdleMode)->word, 0u);
  EXPECT_EQ(sim.GetState().counts.rejected, 5u);
  EXPECT_EQ(sim.GetState().counts.parameterWrites, 0u);
}

TEST_F(SimProtocolTest, StopRepeatingCallIsNotARequest) {
  SimController sim(kDevice);
  Send(kDevice, wire::ParameterApiId(param::kIdleMode), nullptr, 0,
       HAL_CAN_SEND_PERIOD_STOP_REPEATING);
  Send(kDevice, api::kClearFaults, nullptr, 0, HAL_CAN_SEND_PERIOD_STOP_REPEATING);
  EXPECT_TRUE(Delivered(kDevice, wire::ParameterApiId(param::kIdleMode)).empty());
  EXPECT_EQ(sim.GetState().counts.clearFaults, 0u);
}

TEST_F(SimProtocolTest, BurnedStoreSurvivesAPowerCycle) {
  SimController sim(kDevice);
  const int kP0 = param::Slot(param::kP, 0);
  SendFloatParameter(kDevice, kP0, 0.5f);
  Send(kDevice, api::kBurnFlash, wire::EncodeBurnFlash());
  SendFloatParameter(kDevice, kP0, 0.25f);
  SendFloatParameter(kDevice, param::kIdleMode, 1.0f);
  sim.PowerCycle();
  EXPECT_EQ(ReadParameter(kDevice, kP0)->word, wire::FloatBits(0.5f));
  EXPECT_EQ(ReadParameter(kDevice, param::kIdleMode)->word, 0u);  // not burned: default

  const std::array<uint8_t, 2> wrongKey = {0x3A, 0xA3};
  SendFloatParameter(kDevice, kP0, 0.75f);
  Send(kDevice, api::kBurnFlash, wrongKey);
  sim.PowerCycle();
  EXPECT_EQ(ReadParameter(kDevice, kP0)->word, wire::FloatBits(0.5f));
  EXPECT_EQ(sim.GetState().counts.burnFlashes, 1u);
}

TEST_F(SimProtocolTest, FactoryDefaultsRestoreAndPersistOnlyWithTheFlag) {
  SimController sim(kDevice);
  const int kP0 = param::Slot(param::kP, 0);
  SendFloatParameter(kDevice, kP0, 0.5f);
  Send(kDevice, api::kBurnFlash, wire::EncodeBurnFlash());

  Send(kDevice, api::kFactoryDefaults, wire::EncodeValueFrame(0u, wire::type::kBool));
  EXPECT_EQ(ReadParameter(kDevice, kP0)->word, 0u);
  sim.PowerCycle();
  EXPECT_EQ(ReadParameter(kDevice, kP0)->word, wire::FloatBits(0.5f));  // flash untouched

  Send(kDevice, api::kFactoryDefaults, wire::EncodeValueFrame(1u, wire::type::kBool));
  sim.PowerCycle();
  EXPECT_EQ(ReadParameter(kDevice, kP0)->word, 0u);
  EXPECT_EQ(sim.GetState().counts.factoryDefaults, 2u);
}

TEST_F(SimProtocolTest, OtherDevicesFramesAreNotAnswered) {
  SimController sim(kDevice);
  SendEmpty(kDevice + 1, api::kFirmwareVersion);
  EXPECT_TRUE(Delivered(kDevice + 1, api::kFirmwareVersion).empty());
  EXPECT_EQ(sim.GetState().counts.firmwareRequests, 0u);
}

}  // namespace
