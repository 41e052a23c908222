/* Core of the hardware abstraction layer: initialisation, the FPGA clock and the
 * robot's enable state. */
#pragma once

#include <stdint.h>

#include "hal/Types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Text for a status code ("" for an unknown one). */
const char* HAL_GetErrorMessage(int32_t code);

/* Microseconds of the FPGA clock (the simulated clock in the stand-in). */
uint64_t HAL_GetFPGATime(int32_t* status);

/* 1 while the robot's outputs are enabled. */
HAL_Bool HAL_GetSystemActive(int32_t* status);

/* Idempotent and thread-safe; always succeeds in the stand-in. */
HAL_Bool HAL_Initialize(int32_t timeout, int32_t mode);

#ifdef __cplusplus
} /* extern "C" */
#endif
