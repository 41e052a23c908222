// The encoder, closed-loop and limit-switch views on a simulated controller:
// every per-slot setting in every slot (id, type, round trip), slot checks,
// clamping, the output range under inversion, the accel strategy's float
// storage, references, the encoder and the limit switches.
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "bus_fixture.h"
#include "tavrix/CANTavrix.h"
#include "tavrix/sim/SimController.h"

namespace {

using namespace tavrix_test;
using tavrix::sim::SimController;
using zem::CANDigitalInput;
using zem::CANError;
using zem::CANPIDController;
using zem::CANTavrix;
using zem::ControlType;
using Motor = zem::CANTavrixLowLevel::MotorType;
using Strategy = CANPIDController::AccelStrategy;
using Polarity = CANDigitalInput::LimitSwitchPolarity;

constexpr int32_t kId = 9;
constexpr int kSlots = 4;

class ViewsTest : public SimDeviceTest {
 protected:
  ViewsTest() : SimDeviceTest(kId) {}
  void StoreFloat(int id, float value) {
    sim->SetParameter(id, {wire::FloatBits(value), wire::type::kFloat32});
  }
};

// A per-slot float setting: its slot-0 id, stride and accessors.
struct Family {
  std::string name;
  int32_t base;
  int32_t stride;
  std::function<CANError(CANPIDController&, double, int)> set;
  std::function<double(CANPIDController&, int)> get;
};

const std::vector<Family>& Families() {
  using P = CANPIDController;
  static const std::vector<Family> families = {
      {"P", 13, 8, &P::SetP, &P::GetP},
      {"I", 14, 8, &P::SetI, &P::GetI},
      {"D", 15, 8, &P::SetD, &P::GetD},
      {"FF", 16, 8, &P::SetFF, &P::GetFF},
      {"IZone", 17, 8, &P::SetIZone, &P::GetIZone},
      {"DFilter", 18, 8, &P::SetDFilter, &P::GetDFilter},
      {"MaxVelocity", 76, 5, &P::SetSmartMotionMaxVelocity, &P::GetSmartMotionMaxVelocity},
      {"MaxAccel", 77, 5, &P::SetSmartMotionMaxAccel, &P::GetSmartMotionMaxAccel},
      {"MinOutputVelocity", 78, 5, &P::SetSmartMotionMinOutputVelocity,
       &P::GetSmartMotionMinOutputVelocity},
      {"AllowedError", 79, 5, &P::SetSmartMotionAllowedClosedLoopError,
       &P::GetSmartMotionAllowedClosedLoopError},
      {"IMaxAccum", 96, 4, &P::SetIMaxAccum, &P::GetIMaxAccum},
  };
  return families;
}

TEST_F(ViewsTest, EverySlotSettingUsesItsIdAndRoundTrips) {
  auto pid = device->GetPIDController();
  for (int slot = 0; slot < kSlots; ++slot) {
    const double value = 0.125 * (slot + 1);  // exact in single precision, within [0, 1]
    for (const auto& f : Families()) {
      const int32_t id = f.base + f.stride * slot;
      ClearBus();
      EXPECT_EQ(f.set(pid, value, slot), CANError::kSuccess) << f.name << slot;
      EXPECT_EQ(f.get(pid, slot), value) << f.name << slot;
      EXPECT_EQ(ParamWrites(kId),
                std::vector<ParamWrite>{FloatWrite(id, static_cast<float>(value))})
          << f.name << " slot " << slot;
      EXPECT_EQ(ParamReads(kId), std::vector<int32_t>{id}) << f.name << " slot " << slot;
    }
    ClearBus();
    EXPECT_EQ(pid.SetSmartMotionAccelStrategy(Strategy::kAccelStrategy1, slot), CANError::kSuccess);
    EXPECT_EQ(pid.GetSmartMotionAccelStrategy(slot), Strategy::kAccelStrategy1);
    EXPECT_EQ(pid.SetOutputRange(-0.5, 0.75, slot), CANError::kSuccess);
    EXPECT_EQ(pid.GetOutputMin(slot), -0.5);
    EXPECT_EQ(pid.GetOutputMax(slot), 0.75);
    EXPECT_EQ(ParamWrites(kId), (std::vector<ParamWrite>{FloatWrite(80 + 5 * slot, 1.0f),
                                                         FloatWrite(19 + 8 * slot, -0.5f),
                                                         FloatWrite(20 + 8 * slot, 0.75f)}));
    EXPECT_EQ(ParamReads(kId), (std::vector<int32_t>{80 + 5 * slot, 19 + 8 * slot, 20 + 8 * slot}));
  }
}

TEST_F(ViewsTest, SlotsOutsideRangeSendNothing) {
  auto pid = device->GetPIDController();
  ClearBus();
  for (const int slot : {4, -1, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
    for (const auto& f : Families()) {
      EXPECT_EQ(f.set(pid, 0.25, slot), CANError::kFailed) << f.name << slot;
      EXPECT_EQ(f.get(pid, slot), 0.0) << f.name << slot;
    }
    EXPECT_EQ(pid.SetSmartMotionAccelStrategy(Strategy::kAccelStrategy1, slot), CANError::kFailed);
    EXPECT_EQ(pid.GetSmartMotionAccelStrategy(slot), Strategy::kAccelStrategy0);
    EXPECT_EQ(pid.SetOutputRange(-1.0, 1.0, slot), CANError::kFailed);
    EXPECT_EQ(pid.GetOutputMin(slot), 0.0);
    EXPECT_EQ(pid.GetOutputMax(slot), 0.0);
  }
  EXPECT_TRUE(ParamWrites(kId).empty());
  EXPECT_TRUE(ParamReads(kId).empty());
}

TEST_F(ViewsTest, DerivativeFilterIsClampedToUnit) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<std::pair<double, float>> cases = {
      {1.5, 1.0f}, {-0.2, 0.0f}, {0.5, 0.5f}, {inf, 1.0f}, {-inf, 0.0f}};
  auto pid = device->GetPIDController();
  for (const auto& [value, written] : cases) {
    ClearBus();
    pid.SetDFilter(value, 1);
    EXPECT_EQ(ParamWrites(kId), std::vector<ParamWrite>{FloatWrite(26, written)}) << value;
  }
  pid.SetDFilter(std::nan(""), 1);  // NaN passes unchanged
  EXPECT_TRUE(std::isnan(pid.GetDFilter(1)));
}

TEST_F(ViewsTest, OutputRangeIsMirroredWhileInverted) {
  auto pid = device->GetPIDController();
  pid.SetOutputRange(-0.5, 1.0, 1);
  device->SetInverted(true);  // the stored pair now reads mirrored
  EXPECT_EQ(pid.GetOutputMin(1), -1.0);
  EXPECT_EQ(pid.GetOutputMax(1), 0.5);

  ClearBus();
  pid.SetOutputRange(-0.5, 1.0, 1);
  EXPECT_EQ(ParamWrites(kId),
            (std::vector<ParamWrite>{FloatWrite(27, -1.0f), FloatWrite(28, 0.5f)}));
  EXPECT_EQ(pid.GetOutputMin(1), -0.5);
  EXPECT_EQ(pid.GetOutputMax(1), 1.0);
}

// Reports inversion without setting the flag that the frames use.
class ClaimsInverted : public CANTavrix {
 public:
  using CANTavrix::CANTavrix;
  bool GetInverted() const override { return true; }
};

TEST_F(ViewsTest, OutputRangeAsksTheVirtualInversion) {
  SimController otherSim(10);
  ClaimsInverted claims(10, Motor::kMotorKind1);
  CANPIDController pid(claims);
  ClearBus();
  pid.SetOutputRange(-0.25, 0.5, 0);
  EXPECT_EQ(ParamWrites(10),
            (std::vector<ParamWrite>{FloatWrite(19, -0.5f), FloatWrite(20, 0.25f)}));
}

TEST_F(ViewsTest, AccelStrategyIsTruncatedFromTheStoredFloat) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  const std::vector<std::pair<float, int32_t>> cases = {
      {1.9f, 1},     {-1.5f, -1},         {std::nanf(""), 0},
      {1e10f, kMax}, {-1e10f, -kMax - 1}, {std::numeric_limits<float>::infinity(), kMax}};
  auto pid = device->GetPIDController();
  for (const auto& [stored, strategy] : cases) {
    StoreFloat(90, stored);
    EXPECT_EQ(static_cast<int32_t>(pid.GetSmartMotionAccelStrategy(2)), strategy) << stored;
  }
  SetFaults(true);
  device->SetCANTimeout(1);
  EXPECT_EQ(pid.GetSmartMotionAccelStrategy(2), Strategy::kAccelStrategy0);
}

TEST_F(ViewsTest, SetReferencePassesThroughAndLeavesGet) {
  DriverStartup::StartThreads({kId});
  auto pid = device->GetPIDController();
  device->Set(0.4);
  EXPECT_EQ(pid.SetReference(100.0, ControlType::kControlType1, 2, 0.5), CANError::kSuccess);
  EXPECT_EQ(pid.SetReference(1.0, static_cast<ControlType>(7), 0, 0.0), CANError::kFailed);
  HALSIM_StepTiming(20000);
  const auto received = sim->GetState().lastSetpoint;
  EXPECT_EQ(received.apiId, wire::kSetpointApiIds[1]);
  EXPECT_EQ(received.value, 100.0f);
  EXPECT_EQ(received.pidSlot, 2);
  EXPECT_EQ(received.aux, 512);
  EXPECT_EQ(device->Get(), 0.4);
}

TEST_F(ViewsTest, EncoderAndAccumulator) {
  auto encoder = device->GetEncoder();
  auto pid = device->GetPIDController();
  DeliverStatus(kId, wire::api::kStatus1, wire::EncodeStatus1(-3.5f, 0, 0.0, 0.0));
  DeliverStatus(kId, wire::api::kStatus2, {0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x20, 0xC0});
  ClearBus();
  EXPECT_EQ(encoder.SetPositionConversionFactor(0.1), CANError::kSuccess);
  EXPECT_EQ(encoder.SetVelocityConversionFactor(60.0), CANError::kSuccess);
  EXPECT_EQ(ParamWrites(kId),
            (std::vector<ParamWrite>{FloatWrite(112, 0.1f), FloatWrite(113, 60.0f)}));
  EXPECT_EQ(encoder.GetPositionConversionFactor(), 0.10000000149011612);
  EXPECT_EQ(encoder.GetVelocityConversionFactor(), 60.0);
  EXPECT_EQ(encoder.GetPosition(), 1.0);  // the library applies no factor
  EXPECT_EQ(encoder.GetVelocity(), -3.5);
  EXPECT_EQ(pid.GetIAccum(), -2.5);

  device->SetInverted(true);
  EXPECT_EQ(encoder.GetPosition(), -1.0);
  EXPECT_EQ(encoder.GetVelocity(), 3.5);
  EXPECT_EQ(pid.GetIAccum(), 2.5);
  ClearBus();
  EXPECT_EQ(encoder.SetPosition(1.5), CANError::kSuccess);
  EXPECT_EQ(pid.SetIAccum(2.0), CANError::kSuccess);
  const auto frames = RobotFrames(kId);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(wire::ApiOf(frames[0].messageID), wire::api::kSetEncoderPosition);
  EXPECT_EQ(PayloadOf(frames[0]), (Bytes{0x00, 0x00, 0xC0, 0xBF, 0x02}));
  EXPECT_EQ(wire::ApiOf(frames[1].messageID), wire::api::kSetIAccum);
  EXPECT_EQ(PayloadOf(frames[1]), (Bytes{0x00, 0x00, 0x00, 0xC0, 0x02}));

  SetFaults(true);
  device->SetCANTimeout(1);
  EXPECT_EQ(encoder.GetPositionConversionFactor(), 0.0);
  EXPECT_EQ(encoder.GetVelocityConversionFactor(), 0.0);
}

TEST_F(ViewsTest, LimitSwitches) {
  using Switch = CANDigitalInput::LimitSwitch;
  // Construction writes the polarity; any switch but kForward is the reverse one.
  const std::vector<std::tuple<Switch, Polarity, ParamWrite>> constructions = {
      {Switch::kForward, Polarity::kPolarity1, BoolWrite(50, true)},
      {Switch::kForward, Polarity::kPolarity0, BoolWrite(50, false)},
      {static_cast<Switch>(7), static_cast<Polarity>(5), BoolWrite(51, true)}};
  for (const auto& [which, polarity, written] : constructions) {
    ClearBus();
    CANDigitalInput input(*device, which, polarity);
    EXPECT_EQ(ParamWrites(kId), std::vector<ParamWrite>{written});
  }
  ClearBus();
  auto forward = device->GetForwardLimitSwitch(Polarity::kPolarity1);
  auto reverse = device->GetReverseLimitSwitch(Polarity::kPolarity0);
  EXPECT_EQ(forward.EnableLimitSwitch(false), CANError::kSuccess);
  EXPECT_EQ(reverse.EnableLimitSwitch(true), CANError::kSuccess);
  EXPECT_EQ(ParamWrites(kId), (std::vector<ParamWrite>{BoolWrite(50, true), BoolWrite(51, false),
                                                       BoolWrite(52, false), BoolWrite(53, true)}));
  EXPECT_FALSE(forward.IsLimitSwitchEnabled());
  EXPECT_TRUE(reverse.IsLimitSwitchEnabled());
  sim->SetParameter(52, {0x100, wire::type::kBool});  // any non-zero word
  EXPECT_TRUE(forward.IsLimitSwitchEnabled());

  // The state is the fault bit, whatever the enable setting.
  const std::vector<std::tuple<uint16_t, bool, bool>> states = {
      {0x4000, true, false}, {0x8000, false, true}, {0xC000, true, true}, {0x3FFF, false, false}};
  for (const auto& [faults, forwardSet, reverseSet] : states) {
    DeliverStatus(kId, wire::api::kStatus0, wire::EncodeStatus0(0.0, faults, 0xFFFF, false));
    EXPECT_EQ(forward.Get(), forwardSet) << faults;
    EXPECT_EQ(reverse.Get(), reverseSet) << faults;
  }
  SetFaults(true);
  device->SetCANTimeout(1);
  EXPECT_FALSE(reverse.IsLimitSwitchEnabled());
}

}  // namespace
