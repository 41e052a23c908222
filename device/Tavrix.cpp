// The PWM-driven controller: pulse bounds, period and the start-up state that
// the controller expects; everything else is the platform's speed controller.
#include "tavrix/Tavrix.h"

namespace zem {

namespace {
// Pulse widths in milliseconds. The deadband is asymmetric around the centre
// and the ends lie just beyond 2.0 and 1.0 ms, as the controller measures them.
constexpr adapter::PulseBoundsMs kPulseBounds{2.003, 1.55, 1.5, 1.46, 0.999};

constexpr int32_t kPwmUsageResource = 82;
constexpr const char* kModuleType = "Tavrix";
}  // namespace

Tavrix::Tavrix(int channel) : PwmControllerBase(kModuleType, channel) {
  StartPwm(kPulseBounds, kPwmUsageResource);
}

}  // namespace zem
