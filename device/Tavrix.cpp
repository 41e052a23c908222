// The PWM-driven controller: pulse bounds, period and the start-up state that
// the controller expects; everything else is the platform's speed controller.
#include "tavrix/Tavrix.h"

#include <hal/HAL.h>

namespace zem {

namespace {
// Pulse widths in milliseconds. The deadband is asymmetric around the centre
// and the ends lie just beyond 2.0 and 1.0 ms, as the controller measures them.
constexpr double kPulseMaxMs = 2.003;
constexpr double kDeadbandMaxMs = 1.55;
constexpr double kCenterMs = 1.5;
constexpr double kDeadbandMinMs = 1.46;
constexpr double kPulseMinMs = 0.999;

constexpr int32_t kPwmUsageResource = 82;
constexpr int32_t kUsageContext = 0;
constexpr const char* kModuleType = "Tavrix";
}  // namespace

Tavrix::Tavrix(int channel) : PWMSpeedController(channel) {
  SetBounds(kPulseMaxMs, kDeadbandMaxMs, kCenterMs, kDeadbandMinMs, kPulseMinMs);
  SetPeriodMultiplier(kPeriodMultiplier_1X);
  SetSpeed(0.0);
  SetZeroLatch();
  HAL_Report(kPwmUsageResource, GetChannel(), kUsageContext);
  SetName(kModuleType, GetChannel());
}

}  // namespace zem
