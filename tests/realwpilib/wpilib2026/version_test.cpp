// The real-time suite's tests of what is new on WPILib 2026: the controller
// on the dashboard through NetworkTables, SetVoltage, error reports through
// the simulation's error hook (and failed sends that throw nothing), and the
// PWM controller as a 2026 frc::PWMMotorController.
#include <mutex>
#include <string>
#include <vector>

#include <frc/motorcontrol/MotorController.h>
#include <frc/motorcontrol/PWMMotorController.h>
#include <frc/smartdashboard/SmartDashboard.h>
#include <gtest/gtest.h>
#include <hal/CAN.h>
#include <hal/simulation/MockHooks.h>
#include <hal/simulation/RoboRioData.h>
#include <networktables/NetworkTable.h>
#include <networktables/NetworkTableInstance.h>
#include <units/voltage.h>
#include <wpi/sendable/SendableRegistry.h>

#include "platform_sim.h"
#include "realtime_fixture.h"
#include "tavrix/Tavrix.h"

namespace {

using namespace realwpilib_test;

// Until the bus carried `count` setpoints of `value` for device 1.
bool SawSetpoints(const realwpilib::Responder& bus, float value, size_t count) {
  const uint32_t setpointId = wire::ComposeId(1, wire::kSetpointApiIds[0]);
  return bus.WaitFor(
      [&](const realwpilib::Frames& sent) {
        size_t seen = 0;
        for (const auto& f : sent) seen += f.id == setpointId && SetpointValue(f) == value;
        return seen >= count;
      },
      kBound);
}

TEST_F(RealPlatformTest, DashboardShowsTheControllerAndItsValueDrivesIt) {
  auto table =
      nt::NetworkTableInstance::GetDefault().GetTable("SmartDashboard")->GetSubTable("Arm");
  wpi::SendableRegistry::UID uid = 0;
  {
    zem::CANTavrix motor(1, kMotor);
    EXPECT_EQ(wpi::SendableRegistry::GetName(&motor), "CANTavrix[1]");
    uid = wpi::SendableRegistry::GetUniqueId(&motor);
    frc::SmartDashboard::PutData("Arm", &motor);
    motor.Set(0.25);
    frc::SmartDashboard::UpdateValues();
    EXPECT_EQ(table->GetEntry(".type").GetString(""), "Motor Controller");
    EXPECT_EQ(table->GetEntry("Value").GetDouble(0.0), 0.25);

    // Written from the dashboard: the controller is set, and the bus follows.
    table->GetEntry("Value").SetDouble(-0.5);
    frc::SmartDashboard::UpdateValues();
    EXPECT_EQ(motor.Get(), -0.5);
    EXPECT_TRUE(SawSetpoints(bus, -0.5f, 2));
  }
  EXPECT_EQ(wpi::SendableRegistry::GetSendable(uid), nullptr);
  frc::SmartDashboard::UpdateValues();  // nothing left to call
}

TEST_F(RealPlatformTest, SetVoltageIsTheShareOfTheBatteryVoltage) {
  zem::CANTavrix motor(1, kMotor);
  frc::MotorController& controller = motor;
  HALSIM_SetRoboRioVInVoltage(10.0);
  controller.SetVoltage(units::volt_t{5.0});
  EXPECT_EQ(controller.Get(), 0.5);
  EXPECT_TRUE(SawSetpoints(bus, 0.5f, 2));
}

struct Report {
  bool isError;
  int32_t code;
  std::string details;
};
std::mutex reportsLock;
std::vector<Report> reports;

int32_t KeepReport(HAL_Bool isError, int32_t code, HAL_Bool, const char* details, const char*,
                   const char*, HAL_Bool) {
  std::lock_guard<std::mutex> lock(reportsLock);
  reports.push_back(Report{isError != 0, code, details});
  return 0;
}

std::vector<Report> Reports() {
  std::lock_guard<std::mutex> lock(reportsLock);
  return reports;
}

TEST_F(RealPlatformTest, ErrorReportsReachTheErrorHookAndFailedSendsThrowNothing) {
  HALSIM_SetSendError(&KeepReport);
  bus.SetSilent(true);
  { zem::CANTavrix silent(1, kMotor); }
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_TRUE(Reports()[0].isError);
  EXPECT_EQ(Reports()[0].code, 1);
  EXPECT_EQ(Reports()[0].details,
            "Unable to retrieve TAVRIX firmware version for CAN ID: 1. Please verify the "
            "deviceID field matches the configured CAN ID of the controller, and that the "
            "controller is connected to the CAN Bus.");

  // Every frame refused: 2026's frc::CAN throws; our calls return their
  // result codes and the refusals are reported.
  bus.SetSilent(false);
  bus.FailSends(HAL_ERR_CANSessionMux_NotAllowed);
  zem::CANTavrix refused(2, kMotor);
  EXPECT_EQ(refused.SetSmartCurrentLimit(30), zem::CANError::kSuccess);
  uint32_t limit = 7;
  EXPECT_EQ(refused.GetParameter(Param::kSmartCurrentLimit, limit), Status::kTimeout);
  EXPECT_EQ(limit, 7u);
  EXPECT_EQ(refused.Follow(refused), zem::CANError::kNoReply);
  bool refusalReported = false;
  for (const Report& r : Reports()) refusalReported |= r.code == HAL_ERR_CANSessionMux_NotAllowed;
  EXPECT_TRUE(refusalReported);
  HALSIM_SetSendError(nullptr);
}

TEST_F(RealPlatformTest, PwmControllerIsAPwmMotorController) {
  constexpr int kChannel = 3;
  {
    zem::Tavrix pwm(kChannel);
    frc::PWMMotorController& controller = pwm;
    EXPECT_EQ(wpi::SendableRegistry::GetName(&pwm), "Tavrix[3]");
    EXPECT_TRUE(HALSIM_GetPWMInitialized(kChannel));
    EXPECT_EQ(HALSIM_GetPWMSpeed(kChannel), 0.0);
    EXPECT_EQ(HALSIM_GetPWMPeriodScale(kChannel), 0);  // every period, no skipped pulses
    // The ends and the centre are the controller's pulse widths, in us.
    const std::vector<std::pair<double, int32_t>> pulses = {{1.0, 2003}, {0.0, 1500}, {-1.0, 999}};
    for (const auto& [speed, microseconds] : pulses) {
      controller.Set(speed);
      EXPECT_EQ(HALSIM_GetPWMPulseMicrosecond(kChannel), microseconds) << speed;
    }
    controller.SetInverted(true);
    controller.Set(0.5);
    EXPECT_EQ(controller.Get(), 0.5);
    EXPECT_LT(HALSIM_GetPWMSpeed(kChannel), 0.0);
  }
  EXPECT_FALSE(HALSIM_GetPWMInitialized(kChannel));
}

}  // namespace
