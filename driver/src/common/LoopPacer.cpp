// Notifier-paced waits with a wall-clock fallback (see LoopPacer.h).
#include "common/LoopPacer.h"

#include <chrono>
#include <mutex>

#include <hal/HALBase.h>
#include <hal/Notifier.h>
#include <tavrix/Wire.h>

#include "adapter/HalCalls.h"

namespace zem::driver {
namespace {

// Neither loop ever waits longer than the setpoint loop's idle wake; a longer
// span can only come from a clock that jumped, and is cut to this.
constexpr uint64_t kLongestFallbackWaitUs = wire::kSetpointIdleWakeUs;

}  // namespace

LoopPacer::LoopPacer(wpi::SafeThread& thread) : m_thread(thread) {
  int32_t status = 0;
  m_notifier = HAL_InitializeNotifier(&status);
  m_hasNotifier = status == 0 && m_notifier != HAL_kInvalidHandle;
}

LoopPacer::~LoopPacer() {
  int32_t status = 0;
  HAL_StopNotifier(m_notifier, &status);
  adapter::CleanNotifier(m_notifier);
}

void LoopPacer::WaitUntil(uint64_t triggerUs) {
  if (!m_hasNotifier) {
    WaitWithoutNotifier(triggerUs);
    return;
  }
  int32_t status = 0;
  HAL_UpdateNotifierAlarm(m_notifier, triggerUs, &status);
  adapter::WaitForNotifierAlarm(m_notifier);
}

void LoopPacer::WaitWithoutNotifier(uint64_t triggerUs) {
  int32_t status = 0;
  const uint64_t nowUs = HAL_GetFPGATime(&status);
  if (triggerUs <= nowUs) return;
  const uint64_t spanUs =
      triggerUs - nowUs < kLongestFallbackWaitUs ? triggerUs - nowUs : kLongestFallbackWaitUs;
  // The owner clears m_active and notifies m_cond to stop the thread, which
  // ends this wait early.
  std::unique_lock<wpi::mutex> lock(m_thread.m_mutex);
  m_thread.m_cond.wait_for(lock, std::chrono::microseconds(static_cast<int64_t>(spanUs)),
                           [this] { return !m_thread.m_active; });
}

}  // namespace zem::driver
