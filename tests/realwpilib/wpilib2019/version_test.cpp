// The real-time suite's tests of what only WPILib 2019 has: the PWM
// controller as a 2019 PWM speed controller (raw pulse bounds).
#include <string>
#include <vector>

#include <frc/PWM.h>
#include <gtest/gtest.h>

#include "platform_sim.h"
#include "realtime_fixture.h"
#include "tavrix/Tavrix.h"

namespace {

using namespace realwpilib_test;

void NoteLatch(const char*, void* param, const HAL_Value* value) {
  if (value->data.v_boolean) *static_cast<bool*>(param) = true;
}

TEST_F(RealPlatformTest, PwmControllerSetsItsChannel) {
  constexpr int kChannel = 3;
  bool latched = false;
  const int32_t uid = HALSIM_RegisterPWMZeroLatchCallback(kChannel, &NoteLatch, &latched, false);
  {
    zem::Tavrix pwm(kChannel);
    EXPECT_TRUE(HALSIM_GetPWMInitialized(kChannel));
    EXPECT_EQ(HALSIM_GetPWMSpeed(kChannel), 0.0);
    EXPECT_EQ(HALSIM_GetPWMPeriodScale(kChannel), 0);  // every period, no skipped pulses
    EXPECT_TRUE(latched);

    frc::PWM reference(kChannel + 1);
    reference.SetBounds(2.003, 1.55, 1.5, 1.46, 0.999);
    std::vector<int32_t> expected(5), actual(5);
    reference.GetRawBounds(&expected[0], &expected[1], &expected[2], &expected[3], &expected[4]);
    pwm.GetRawBounds(&actual[0], &actual[1], &actual[2], &actual[3], &actual[4]);
    EXPECT_EQ(actual, expected);

    pwm.Set(0.5);
    EXPECT_EQ(HALSIM_GetPWMSpeed(kChannel), 0.5);
    pwm.SetInverted(true);
    pwm.Set(0.5);
    EXPECT_EQ(HALSIM_GetPWMSpeed(kChannel), -0.5);
  }
  EXPECT_FALSE(HALSIM_GetPWMInitialized(kChannel));
  HALSIM_CancelPWMZeroLatchCallback(kChannel, uid);
}

}  // namespace
