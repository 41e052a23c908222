// The PWM-driven controller: what its constructor sets on the channel, in
// order, its usage report and name, and the platform's speed-controller
// behaviour underneath.
#include "tavrix/Tavrix.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <hal/simulation/SimRecords.h>

namespace {

// Names of the calls recorded on a channel, without their arguments.
std::vector<std::string> CallNames(const halsim::PwmState& state) {
  std::vector<std::string> names;
  for (const auto& call : state.calls) names.push_back(call.substr(0, call.find('(')));
  return names;
}

TEST(TavrixPwmTest, ConstructorSetsTheControllersPulseAndStartState) {
  for (const int channel : {0, 3, 9}) {
    halsim::ResetRecords();
    zem::Tavrix pwm(channel);
    const auto state = halsim::GetPwmState(channel);
    ASSERT_TRUE(state.initialized);
    EXPECT_EQ(state.boundsMax, 2.003);
    EXPECT_EQ(state.deadbandMax, 1.55);
    EXPECT_EQ(state.center, 1.5);
    EXPECT_EQ(state.deadbandMin, 1.46);
    EXPECT_EQ(state.boundsMin, 0.999);
    EXPECT_EQ(state.periodMultiplier, 1);
    EXPECT_EQ(state.speed, 0.0);
    EXPECT_TRUE(state.zeroLatched);
    EXPECT_EQ(state.name, "Tavrix[" + std::to_string(channel) + "]");

    // The constructor's own calls come last, in this order.
    const std::vector<std::string> own = {"SetBounds", "SetPeriodMultiplier", "SetSpeed",
                                          "SetZeroLatch", "SetName"};
    const auto names = CallNames(state);
    ASSERT_GE(names.size(), own.size());
    EXPECT_EQ(std::vector<std::string>(names.end() - static_cast<long>(own.size()), names.end()),
              own);

    const auto reports = halsim::GetUsageReports();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().resource, 82);
    EXPECT_EQ(reports.back().instanceNumber, channel);
    EXPECT_EQ(reports.back().context, 0);
    EXPECT_FALSE(reports.back().hasFeature);
  }
}

TEST(TavrixPwmTest, BehavesAsThePlatformSpeedController) {
  constexpr int kChannel = 4;
  std::unique_ptr<frc::SpeedController> controller = std::make_unique<zem::Tavrix>(kChannel);
  controller->Set(0.5);
  EXPECT_EQ(halsim::GetPwmState(kChannel).speed, 0.5);
  EXPECT_EQ(controller->Get(), 0.5);
  controller->SetInverted(true);
  EXPECT_TRUE(controller->GetInverted());
  controller->Set(0.5);
  EXPECT_EQ(halsim::GetPwmState(kChannel).speed, -0.5);
  controller->PIDWrite(0.25);
  EXPECT_EQ(halsim::GetPwmState(kChannel).speed, -0.25);
  controller->Disable();
  EXPECT_TRUE(halsim::GetPwmState(kChannel).disabled);
}

}  // namespace
