/* Umbrella header of the hardware abstraction layer, with usage reporting. */
#pragma once

#include <stdint.h>

#include "hal/CAN.h"
#include "hal/CANAPI.h"
#include "hal/Errors.h"
#include "hal/HALBase.h"
#include "hal/Notifier.h"
#include "hal/Types.h"

/* Records that a resource is in use; returns 0. feature may be null. */
#ifdef __cplusplus
extern "C" int64_t HAL_Report(int32_t resource, int32_t instanceNumber, int32_t context = 0,
                              const char* feature = nullptr);
#else
int64_t HAL_Report(int32_t resource, int32_t instanceNumber, int32_t context, const char* feature);
#endif
