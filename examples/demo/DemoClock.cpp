// Stepped or real-time advance of the simulated clock.
#include "DemoClock.h"

#include <hal/HALBase.h>
#include <hal/Notifier.h>
#include <hal/simulation/MockHooks.h>

namespace tavrix::demo {

DemoClock::DemoClock(bool realtime) : realtime_(realtime) {
  // Stepped time starts paused at 0, so that every run gives the same trace; a
  // notifier would only be one more thread to wait for, so it exists in
  // real-time mode alone.
  if (!realtime_) {
    HALSIM_RestartTiming();
    return;
  }
  int32_t status = 0;
  notifier_ = HAL_InitializeNotifier(&status);
}

DemoClock::~DemoClock() {
  if (notifier_ == 0) return;
  int32_t status = 0;
  HAL_StopNotifier(notifier_, &status);
  HAL_CleanNotifier(notifier_, &status);
}

void DemoClock::PowerOnDelay(uint64_t deltaUs) {
  HALSIM_PauseTiming();
  HALSIM_StepTiming(deltaUs);
  if (realtime_) HALSIM_ResumeTiming();
}

uint64_t DemoClock::NowUs() const {
  int32_t status = 0;
  return HAL_GetFPGATime(&status);
}

void DemoClock::Advance(uint64_t deltaUs) {
  if (!realtime_) {
    HALSIM_StepTiming(deltaUs);
    return;
  }
  int32_t status = 0;
  HAL_UpdateNotifierAlarm(notifier_, NowUs() + deltaUs, &status);
  HAL_WaitForNotifierAlarm(notifier_, &status);
}

}  // namespace tavrix::demo
