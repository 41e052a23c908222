// The motor controller object on a simulated controller: construction
// traffic, the speed-controller operations, settings as exact parameter
// frames, ramp-rate reciprocals, reads and their timeouts, telemetry and faults.
#include "tavrix/CANTavrix.h"

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "bus_fixture.h"
#include "tavrix/sim/SimController.h"

namespace {

using namespace tavrix_test;
using tavrix::sim::SimController;
using zem::CANError;
using zem::CANTavrix;
using Motor = zem::CANTavrixLowLevel::MotorType;

constexpr int32_t kId = 3;

class CANTavrixTest : public SimDeviceTest {
 protected:
  CANTavrixTest() : SimDeviceTest(kId) {}
  // What the controller received from the driver two control periods later.
  float ReceivedSetpoint() {
    HALSIM_StepTiming(20000);
    return sim->GetState().lastSetpoint.value;
  }
};

TEST_F(CANTavrixTest, ConstructionResetsBothFactorsThenClearsFaults) {
  std::vector<std::pair<int32_t, Bytes>> frames;
  for (const auto& f : RobotFrames(kId)) {
    // The sweep and the setpoint sender (which serves the device, API id 0
    // until it has a setpoint, from its registration on) write at any moment.
    const int32_t api = wire::ApiOf(f.messageID);
    if (!wire::IsSetpointSenderApi(api)) frames.push_back({api, PayloadOf(f)});
  }
  const Bytes one = {0x00, 0x00, 0x80, 0x3F, wire::type::kFloat32};
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_EQ(frames[0].first, wire::api::kFirmwareVersion);
  EXPECT_EQ(frames[1].first, wire::ParameterApiId(2));  // the motor type
  EXPECT_EQ(frames[2], std::make_pair(wire::ParameterApiId(112), one));
  EXPECT_EQ(frames[3], std::make_pair(wire::ParameterApiId(113), one));
  EXPECT_EQ(frames[4], std::make_pair(wire::api::kClearFaults, Bytes{}));
}

TEST_F(CANTavrixTest, SpeedControllerOperations) {
  DriverStartup::StartThreads({kId});
  EXPECT_EQ(device->Get(), 0.0);  // before any Set
  device->Set(0.25);
  EXPECT_EQ(ReceivedSetpoint(), 0.25f);
  EXPECT_EQ(sim->GetState().lastSetpoint.apiId, wire::kSetpointApiIds[0]);

  device->SetInverted(true);
  EXPECT_TRUE(device->GetInverted());
  EXPECT_EQ(device->Get(), 0.25);        // the stored value is not negated
  EXPECT_EQ(ReceivedSetpoint(), 0.25f);  // nor is a setpoint already handed on
  device->Set(0.25);
  EXPECT_EQ(ReceivedSetpoint(), -0.25f);

  device->SetInverted(false);
  const std::vector<std::pair<std::function<void(frc::SpeedController&)>, double>> cases = {
      {[](frc::SpeedController& c) { c.StopMotor(); }, 0.0},
      {[](frc::SpeedController& c) { c.Disable(); }, 0.0},
      {[](frc::SpeedController& c) { c.PIDWrite(-0.4); }, -0.4}};
  for (const auto& [operation, expected] : cases) {
    device->Set(0.7);
    operation(*device);
    EXPECT_EQ(device->Get(), expected);
    EXPECT_EQ(ReceivedSetpoint(), static_cast<float>(expected));
  }
}

class RecordingTavrix : public CANTavrix {
 public:
  using CANTavrix::CANTavrix;
  void Set(double speed) override { calls.push_back(speed); }
  std::vector<double> calls;
};

TEST_F(CANTavrixTest, SubclassOverridingSetReceivesTheCalls) {
  SimController otherSim(4);
  auto recording = std::make_unique<RecordingTavrix>(4, Motor::kMotorKind0);
  RecordingTavrix* raw = recording.get();
  std::unique_ptr<frc::SpeedController> asController = std::move(recording);
  asController->PIDWrite(0.3);
  asController->StopMotor();
  asController->Disable();
  EXPECT_EQ(raw->calls, (std::vector<double>{0.3, 0.0, 0.0}));
  EXPECT_EQ(asController->Get(), 0.0);  // the base Set never ran
}

TEST_F(CANTavrixTest, SettersAndCommandsSendExactFrames) {
  const std::vector<std::pair<std::function<CANError(CANTavrix&)>, std::vector<ParamWrite>>> cases =
      {
          {[](CANTavrix& d) { return d.SetIdleMode(CANTavrix::IdleMode::kIdleMode1); },
           {U32Write(6, 1)}},
          {[](CANTavrix& d) { return d.SetOpenLoopRampRate(0.5); }, {FloatWrite(56, 2.0f)}},
          {[](CANTavrix& d) { return d.SetOpenLoopRampRate(-0.0); }, {FloatWrite(56, -0.0f)}},
          {[](CANTavrix& d) { return d.SetClosedLoopRampRate(-0.25); }, {FloatWrite(114, -4.0f)}},
          {[](CANTavrix& d) { return d.SetSmartCurrentLimit(30); },
           {U32Write(59, 30), U32Write(60, 0), U32Write(61, 20000)}},
          {[](CANTavrix& d) { return d.SetSmartCurrentLimit(40, 25, 5000); },
           {U32Write(59, 40), U32Write(60, 25), U32Write(61, 5000)}},
          {[](CANTavrix& d) { return d.SetSecondaryCurrentLimit(55.5, -1); },
           {FloatWrite(11, 55.5f), U32Write(12, 0xFFFFFFFFu)}},
          {[](CANTavrix& d) { return d.EnableVoltageCompensation(12.0); },
           {FloatWrite(75, 12.0f), U32Write(74, 2)}},
          {[](CANTavrix& d) { return d.DisableVoltageCompensation(); },
           {I32Write(74, 0), I32Write(75, 0)}},
      };
  for (size_t i = 0; i < cases.size(); ++i) {
    ClearBus();
    EXPECT_EQ(cases[i].first(*device), CANError::kSuccess) << "case " << i;
    EXPECT_EQ(ParamWrites(kId), cases[i].second) << "case " << i;
  }
  ClearBus();
  EXPECT_EQ(device->BurnFlash(), CANError::kSuccess);
  EXPECT_EQ(device->ClearFaults(), CANError::kSuccess);
  const auto frames = RobotFrames(kId);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(wire::ApiOf(frames[0].messageID), wire::api::kBurnFlash);
  EXPECT_EQ(PayloadOf(frames[0]), (Bytes{0xA3, 0x3A}));
  EXPECT_EQ(wire::ApiOf(frames[1].messageID), wire::api::kClearFaults);
  EXPECT_EQ(frames[1].dataSize, 0);
}

TEST_F(CANTavrixTest, RampRatesRoundTripAsReciprocals) {
  const double inf = std::numeric_limits<double>::infinity();
  // 1e-40 is stored as 1e40, beyond float: the infinity reads back as 0.
  const std::vector<std::pair<double, double>> cases = {
      {0.5, 0.5}, {0.3, 0.30000000715255754}, {0.0, 0.0}, {-0.25, -0.25}, {1e-40, 0.0}, {inf, 0.0}};
  for (const auto& [rate, readBack] : cases) {
    ASSERT_EQ(device->SetOpenLoopRampRate(rate), CANError::kSuccess);
    ASSERT_EQ(device->SetClosedLoopRampRate(rate), CANError::kSuccess);
    EXPECT_EQ(device->GetOpenLoopRampRate(), readBack) << rate;
    EXPECT_EQ(device->GetClosedLoopRampRate(), readBack) << rate;
  }
  device->SetOpenLoopRampRate(std::nan(""));
  EXPECT_TRUE(std::isnan(device->GetOpenLoopRampRate()));
}

TEST_F(CANTavrixTest, ReadsFollowTheCanTimeoutAndFallBack) {
  device->EnableVoltageCompensation(11.5);
  EXPECT_EQ(device->GetVoltageCompensationNominalVoltage(), 11.5);
  sim->SetParameter(6, {7, wire::type::kUint32});  // passed through without a range test
  ASSERT_EQ(device->SetCANTimeout(100), CANError::kSuccess);
  DeliverStatus(kId, wire::api::kStatus1, wire::Payload{});
  ClearBus();
  EXPECT_EQ(static_cast<uint32_t>(device->GetIdleMode()), 7u);
  device->GetBusVoltage();
  const auto reads = halsim::GetCanReads();
  ASSERT_EQ(reads.size(), 3u);  // the parameter's stale reply discarded, its reply, status 1
  EXPECT_EQ(reads[1].kind, halsim::CanReadKind::kNew);
  EXPECT_TRUE(reads[1].found);
  EXPECT_EQ(reads[2].kind, halsim::CanReadKind::kPeriodic);
  EXPECT_EQ(reads[2].timeoutMs, 100 + 2 * 20);  // twice status frame 1's period
  EXPECT_EQ(reads[2].periodMs, 20);

  SetFaults(true);
  device->SetCANTimeout(1);
  EXPECT_EQ(device->GetOpenLoopRampRate(), 0.0);
  EXPECT_EQ(device->GetClosedLoopRampRate(), 0.0);
  EXPECT_EQ(device->GetIdleMode(), CANTavrix::IdleMode::kIdleMode1);
  EXPECT_EQ(device->GetVoltageCompensationNominalVoltage(), 0.0);
}

TEST_F(CANTavrixTest, TelemetryFromStatusFrames) {
  // Frame 1 first: its read still takes a frame 50 ms old, frame 0's would not.
  DeliverStatus(kId, wire::api::kStatus1, {0x00, 0x00, 0x80, 0x3F, 0x28, 0x80, 0x0C, 0x18});
  DeliverStatus(kId, wire::api::kStatus0, {0x00, 0x40, 0x01, 0x40, 0x00, 0x80, 0x34, 0x00});
  EXPECT_DOUBLE_EQ(device->GetAppliedOutput(), 16384.0 / 32767.0);
  EXPECT_EQ(device->GetFaults(), 0x4001);
  EXPECT_EQ(device->GetStickyFaults(), 0x8000);
  EXPECT_EQ(device->GetBusVoltage(), 25.0);
  EXPECT_EQ(device->GetOutputCurrent(), 12.0);
  EXPECT_EQ(device->GetMotorTemperature(), 40.0);
  device->SetInverted(true);  // negates the applied output only
  EXPECT_DOUBLE_EQ(device->GetAppliedOutput(), -16384.0 / 32767.0);
  EXPECT_EQ(device->GetBusVoltage(), 25.0);

  DeliverStatus(kId, wire::api::kStatus1, {0, 0, 0, 0, 200, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(device->GetMotorTemperature(), 200.0);
  EXPECT_EQ(device->GetBusVoltage(), 31.9921875);
  EXPECT_EQ(device->GetOutputCurrent(), 127.96875);
}

TEST_F(CANTavrixTest, FaultBitsOfBothWords) {
  using Fault = CANTavrix::FaultID;
  DeliverStatus(kId, wire::api::kStatus0, {0, 0, 0x00, 0xC0, 0x01, 0x00, 0, 0});
  struct Case {
    Fault id;
    bool fault;
    bool sticky;
  };
  const std::vector<Case> cases = {
      {Fault::kFaultBit0, false, true},
      {Fault::kForwardLimitSwitch, true, false},
      {Fault::kReverseLimitSwitch, true, false},
      {static_cast<Fault>(16), false, false},
      {static_cast<Fault>(-1), false, false},
      {static_cast<Fault>(std::numeric_limits<int32_t>::min()), false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(device->GetFault(c.id), c.fault) << static_cast<int32_t>(c.id);
    EXPECT_EQ(device->GetStickyFault(c.id), c.sticky) << static_cast<int32_t>(c.id);
  }
}

}  // namespace
