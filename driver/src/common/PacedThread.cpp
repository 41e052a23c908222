// Ending a paced loop from its owner (see PacedThread.h).
#include "common/PacedThread.h"

#include <hal/Notifier.h>

namespace zem::driver {

void PacedThread::EndLoop() {
  // The loop checks m_active after every wait, so clear it before waking it.
  m_active = false;
  const HAL_NotifierHandle notifier = m_notifier.load();
  if (notifier == HAL_kInvalidHandle) return;
  // A notifier the thread has just cleaned up is a stale handle here: the HAL
  // reports it in the status and changes nothing.
  int32_t status = 0;
  HAL_StopNotifier(notifier, &status);
}

}  // namespace zem::driver
