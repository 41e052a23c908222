// The driver's adapter for WPILib 2019 and the stand-in (see HalCalls.h).
#include <hal/Notifier.h>

#include "adapter/HalCalls.h"

namespace zem::driver::adapter {

void CleanNotifier(HAL_NotifierHandle notifier) {
  int32_t status = 0;
  HAL_CleanNotifier(notifier, &status);
}

void WaitForNotifierAlarm(HAL_NotifierHandle notifier) {
  int32_t status = 0;
  HAL_WaitForNotifierAlarm(notifier, &status);
}

}  // namespace zem::driver::adapter
