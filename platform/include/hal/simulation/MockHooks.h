// Simulated FPGA clock control (the stand-in's simulation API).
//
// The clock runs in real time by default. Paused, it advances only through
// HALSIM_StepTiming, and the threads that wait on it run only inside a step,
// one at a time, in an order that depends only on the program:
// - a step first waits until every notifier has a thread blocked in
//   HAL_WaitForNotifierAlarm and every wpi::SafeThread is blocked in such a wait
//   (threads that ran before the pause come to their waits);
// - a SafeThread started while paused makes its first move inside the next step,
//   before anything else, in the order the threads were started;
// - then the clock moves to each due time in turn; the notifier threads and timed
//   callbacks due at one instant run one after another, in the order their
//   notifiers were created or callbacks registered, each until it waits again
//   (or returns);
// - a thread that waits with its alarm already passed returns at once.
// After a step, everything the threads owe for that interval has happened, and a
// stepped run is a function of the program's calls and steps alone. Each wait of
// a step is bounded on the wall clock, so a thread that never waits slows a step
// but cannot hang it. Resuming never makes the clock jump.
#pragma once

#include <stdint.h>

#include "hal/Types.h"

#ifdef __cplusplus
extern "C" {
#endif

void HALSIM_PauseTiming(void);
// Pauses the clock and sets it to 0, so that a stepped run starts from the same
// time whatever ran before. For the start of a program or test: notifier alarms,
// callback times and times already read keep their values.
void HALSIM_RestartTiming(void);
void HALSIM_ResumeTiming(void);
HAL_Bool HALSIM_IsTimingPaused(void);
// Blocks until the interval's threads and callbacks have run; one step at a time.
void HALSIM_StepTiming(uint64_t deltaUs);

// A function of simulated time: called first at firstUs, then at each time it
// returns (a time not after the call's runs at the next microsecond), until it
// returns 0 or is cancelled. Paused, steps call it on the stepping thread in the
// order above; in real time a platform thread calls it at its times. It runs with
// no platform lock held and may send and deliver frames, but must not step.
typedef uint64_t (*HALSIM_TimedCallback)(void* param, uint64_t nowUs);
// Returns the callback's handle, 0 for a null callback.
int32_t HALSIM_RegisterTimedCallback(uint64_t firstUs, HALSIM_TimedCallback callback, void* param);
// After it returns the callback is not running and will not run again (called from
// inside the callback, it only stops the next calls). Unknown handles are ignored.
void HALSIM_CancelTimedCallback(int32_t uid);

#ifdef __cplusplus
}  // extern "C"
#endif
