// Robot enable state of the simulation (the stand-in's simulation API).
#pragma once

#include "hal/Types.h"

#ifdef __cplusplus
extern "C" {
#endif

// Sets what HAL_GetSystemActive reports; disabled (0) at start.
void HALSIM_SetDriverStationEnabled(HAL_Bool enabled);
HAL_Bool HALSIM_GetDriverStationEnabled(void);

#ifdef __cplusplus
}  // extern "C"
#endif
