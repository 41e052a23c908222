// The PWM-driven controller: pulse bounds, period and the start-up state that
// the controller expects; everything else is the platform's speed controller.
#include "tavrix/Tavrix.h"

namespace zem {

namespace {
constexpr const char* kModuleType = "Tavrix";
}  // namespace

Tavrix::Tavrix(int channel) : PwmControllerBase(kModuleType, channel) {
  StartPwm(kPulseBounds, kPwmUsageResource);
}

}  // namespace zem
