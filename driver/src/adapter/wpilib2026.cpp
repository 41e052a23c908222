// The driver's adapter for WPILib 2026 (see HalCalls.h).
#include <hal/Notifier.h>

#include "adapter/HalCalls.h"

namespace zem::driver::adapter {

void CleanNotifier(HAL_NotifierHandle notifier) { HAL_CleanNotifier(notifier); }

void WaitForNotifierAlarm(HAL_NotifierHandle notifier) {
  int32_t status = 0;
  // The alarm time is of no use: the loops read the clock after every wait.
  static_cast<void>(HAL_WaitForNotifierAlarm(notifier, &status));
}

}  // namespace zem::driver::adapter
