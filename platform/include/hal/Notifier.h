/* Notifiers: one-shot alarms on the FPGA clock that a thread waits on. */
#pragma once

#include <stdint.h>

#include "hal/Types.h"

#ifdef __cplusplus
extern "C" {
#endif

HAL_NotifierHandle HAL_InitializeNotifier(int32_t* status);
/* Absolute FPGA microseconds; one-shot. Wakes a waiter so that it sees the new time. */
void HAL_UpdateNotifierAlarm(HAL_NotifierHandle notifierHandle, uint64_t triggerTime,
                             int32_t* status);
void HAL_CancelNotifierAlarm(HAL_NotifierHandle notifierHandle, int32_t* status);
/* Wakes every waiter; later waits return 0 at once. */
void HAL_StopNotifier(HAL_NotifierHandle notifierHandle, int32_t* status);
void HAL_CleanNotifier(HAL_NotifierHandle notifierHandle, int32_t* status);
/* Blocks until the clock reaches the alarm; returns the time it woke at, or 0 once the
 * notifier is stopped or cleaned. */
uint64_t HAL_WaitForNotifierAlarm(HAL_NotifierHandle notifierHandle, int32_t* status);

#ifdef __cplusplus
} /* extern "C" */
#endif
