// Simulated FPGA clock control (the stand-in's simulation API).
//
// The clock runs in real time by default. Paused, it advances only through
// HALSIM_StepTiming, which is synchronous: it first waits until every active
// notifier is parked in HAL_WaitForNotifierAlarm, then advances the clock piece
// by piece, never past the next notifier deadline, and after each piece waits
// until every notifier it woke has run its loop body and parked again. After a
// step, everything the threads owe for that interval has happened.
// Resuming never makes the clock jump.
#pragma once

#include <stdint.h>

#include "hal/Types.h"

#ifdef __cplusplus
extern "C" {
#endif

void HALSIM_PauseTiming(void);
void HALSIM_ResumeTiming(void);
HAL_Bool HALSIM_IsTimingPaused(void);
void HALSIM_StepTiming(uint64_t deltaUs);

#ifdef __cplusplus
}  // extern "C"
#endif
