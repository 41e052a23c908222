// The real-time suite's tests of what only WPILib 2019 has: the PWM
// controller as a 2019 PWM speed controller (raw pulse bounds).
#include <array>
#include <cstdint>

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
    std::array<int32_t, 5> expected{};
    std::array<int32_t, 5> actual{};
    reference.GetRawBounds(expected.data(), expected.data() + 1, expected.data() + 2,
                           expected.data() + 3, expected.data() + 4);
    pwm.GetRawBounds(actual.data(), actual.data() + 1, actual.data() + 2, actual.data() + 3,
                     actual.data() + 4);
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
