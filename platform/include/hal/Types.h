/* Handle and boolean types of the hardware abstraction layer. */
#pragma once

#include <stdint.h>

#define HAL_kInvalidHandle 0

typedef int32_t HAL_Handle;
typedef HAL_Handle HAL_NotifierHandle;
typedef HAL_Handle HAL_CANHandle;
typedef HAL_Handle HAL_DigitalHandle;

typedef int32_t HAL_Bool;
