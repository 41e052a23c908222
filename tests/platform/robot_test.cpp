// Robot library pieces: usage reports, driver-station texts, enable state, PWM
// channels and speed controllers, error records, motor safety.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "frc/DriverStation.h"
#include "frc/PWMSpeedController.h"
#include "hal/HAL.h"
#include "hal/simulation/DriverStationData.h"
#include "hal/simulation/MockHooks.h"
#include "hal/simulation/SimRecords.h"
#include "wpi/SmallString.h"
#include "wpi/raw_ostream.h"

namespace {

// A controller whose constructor configures its channel the way a PWM motor
// controller class does.
class TestController : public frc::PWMSpeedController {
 public:
  explicit TestController(int channel) : PWMSpeedController(channel) {
    SetBounds(2.003, 1.55, 1.5, 1.46, 0.999);
    SetPeriodMultiplier(kPeriodMultiplier_1X);
    SetSpeed(0.0);
    SetZeroLatch();
    HAL_Report(82, GetChannel());
    SetName("Test", GetChannel());
  }
};

TEST(PlatformRecords, UsageReportsKeepEveryArgument) {
  halsim::ResetRecords();
  EXPECT_EQ(HAL_Report(83, 4), 0);
  EXPECT_EQ(HAL_Report(82, 3, 2, "feature"), 0);
  const auto reports = halsim::GetUsageReports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].resource, 83);
  EXPECT_EQ(reports[0].instanceNumber, 4);
  EXPECT_EQ(reports[0].context, 0);
  EXPECT_FALSE(reports[0].hasFeature);
  EXPECT_EQ(reports[0].feature, "");
  EXPECT_EQ(reports[1].context, 2);
  EXPECT_TRUE(reports[1].hasFeature);
  EXPECT_EQ(reports[1].feature, "feature");
  halsim::ClearUsageReports();
  EXPECT_TRUE(halsim::GetUsageReports().empty());
}

TEST(PlatformRecords, DriverStationErrorsAreKeptInOrder) {
  halsim::ResetRecords();
  wpi::SmallString<255> text;
  wpi::raw_svector_ostream stream(text);
  stream << "Device " << -12 << " lost";
  frc::DriverStation::ReportError(stream.str());
  frc::DriverStation::ReportError(std::string("second"));
  frc::DriverStation::ReportError(text);
  EXPECT_EQ(halsim::GetDriverStationErrors(),
            (std::vector<std::string>{"Device -12 lost", "second", "Device -12 lost"}));
  halsim::ResetRecords();
  EXPECT_TRUE(halsim::GetDriverStationErrors().empty());
}

TEST(PlatformRecords, SystemActiveFollowsTheEnableState) {
  int32_t status = 0;
  EXPECT_EQ(HAL_GetSystemActive(&status), 0);  // disabled at start
  HALSIM_SetDriverStationEnabled(1);
  EXPECT_EQ(HAL_GetSystemActive(&status), 1);
  EXPECT_TRUE(frc::DriverStation::GetInstance().IsEnabled());
  HALSIM_SetDriverStationEnabled(5);  // any true value reads back as 1
  EXPECT_EQ(HALSIM_GetDriverStationEnabled(), 1);
  HALSIM_SetDriverStationEnabled(0);
  EXPECT_EQ(HAL_GetSystemActive(&status), 0);
}

TEST(PlatformPwm, ConstructorCallsAreRecordedInOrder) {
  halsim::ResetRecords();
  TestController controller(3);
  const halsim::PwmState state = halsim::GetPwmState(3);
  EXPECT_TRUE(state.initialized);
  EXPECT_EQ(state.calls,
            (std::vector<std::string>{"PWM(3)", "SetBounds(2.003, 1.55, 1.5, 1.46, 0.999)",
                                      "SetPeriodMultiplier(1)", "SetSpeed(0)", "SetZeroLatch()",
                                      "SetName(Test[3])"}));
  EXPECT_EQ(state.boundsMax, 2.003);
  EXPECT_EQ(state.deadbandMax, 1.55);
  EXPECT_EQ(state.center, 1.5);
  EXPECT_EQ(state.deadbandMin, 1.46);
  EXPECT_EQ(state.boundsMin, 0.999);
  EXPECT_EQ(state.periodMultiplier, 1);
  EXPECT_TRUE(state.zeroLatched);
  EXPECT_EQ(state.name, "Test[3]");
  EXPECT_EQ(controller.GetName(), "Test[3]");
  EXPECT_EQ(controller.GetChannel(), 3);
  ASSERT_EQ(halsim::GetUsageReports().size(), 1u);
  EXPECT_EQ(halsim::GetPwmState(4).calls.size(), 0u);  // other channels untouched
}

TEST(PlatformPwm, SpeedControllerInterface) {
  TestController controller(1);
  frc::SpeedController& speedController = controller;
  const struct {
    bool inverted;
    double set;
    double expected;
  } cases[] = {
      {false, 0.25, 0.25},
      {true, 0.25, -0.25},
      {false, 1.5, 1.0},
      {false, -7.0, -1.0},
      {true, -2.0, 1.0},
      {false, std::numeric_limits<double>::quiet_NaN(), 0.0},
      {false, std::numeric_limits<double>::infinity(), 1.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.set);
    speedController.SetInverted(c.inverted);
    EXPECT_EQ(speedController.GetInverted(), c.inverted);
    speedController.Set(c.set);
    EXPECT_EQ(speedController.Get(), c.expected);
    EXPECT_EQ(halsim::GetPwmState(1).speed, c.expected);
  }
  speedController.SetInverted(false);
  speedController.PIDWrite(-0.5);
  EXPECT_EQ(speedController.Get(), -0.5);
  speedController.Disable();
  EXPECT_EQ(speedController.Get(), 0.0);
  EXPECT_TRUE(halsim::GetPwmState(1).disabled);
  speedController.Set(0.3);
  EXPECT_FALSE(halsim::GetPwmState(1).disabled);
  speedController.StopMotor();
  EXPECT_TRUE(halsim::GetPwmState(1).disabled);
  EXPECT_EQ(halsim::GetPwmState(1).calls.back(), "SetDisabled()");
}

TEST(PlatformPwm, MotorSafetyIsOffByDefaultAndStopsAnUnfedMotor) {
  HALSIM_PauseTiming();
  halsim::ResetRecords();
  TestController controller(2);
  EXPECT_FALSE(controller.IsSafetyEnabled());
  EXPECT_EQ(controller.GetExpiration(), 0.1);
  controller.SetSafetyEnabled(true);
  controller.Set(0.5);  // feeds
  HALSIM_StepTiming(99'000);
  controller.Check();
  EXPECT_EQ(controller.Get(), 0.5);
  HALSIM_StepTiming(2'000);
  EXPECT_FALSE(controller.IsAlive());
  controller.Check();
  EXPECT_EQ(controller.Get(), 0.0);
  EXPECT_EQ(halsim::GetDriverStationErrors().size(), 1u);
}

class NamedThing : public frc::SendableBase {
 public:
  void InitSendable(frc::SendableBuilder&) override {}
  using SendableBase::SetName;
};

TEST(PlatformSendable, NamesFromModuleTypeAndChannel) {
  NamedThing thing;
  thing.SetName("Relay", 4);
  EXPECT_EQ(thing.GetName(), "Relay[4]");
  thing.SetName("Solenoid", 1, 7);
  EXPECT_EQ(thing.GetName(), "Solenoid[1,7]");
  thing.SetName("Drive", "Left");
  EXPECT_EQ(thing.GetSubsystem(), "Drive");
  EXPECT_EQ(thing.GetName(), "Left");
}

class ErrorHolder : public frc::ErrorBase {
 public:
  void Fail(int32_t code) { wpi_setErrorWithContext(code, "doing it"); }
};

TEST(PlatformErrors, SetErrorKeepsTheCodeAndZeroIsNoError) {
  ErrorHolder holder;
  holder.Fail(0);
  EXPECT_EQ(holder.GetError().GetCode(), 0);
  holder.Fail(HAL_HANDLE_ERROR);
  EXPECT_EQ(holder.GetError().GetCode(), HAL_HANDLE_ERROR);
  EXPECT_TRUE(holder.StatusIsFatal());
  EXPECT_NE(holder.GetError().GetMessage().find("doing it"), std::string::npos);
  ErrorHolder clone;
  clone.CloneError(holder);
  EXPECT_EQ(clone.GetError().GetCode(), HAL_HANDLE_ERROR);
  holder.ClearError();
  EXPECT_EQ(holder.GetError().GetCode(), 0);
  EXPECT_FALSE(holder.StatusIsFatal());
}

}  // namespace
