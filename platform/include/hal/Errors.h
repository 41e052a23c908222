/* Status codes that the hardware abstraction layer reports. */
#pragma once

#define HAL_SUCCESS 0
#define HAL_HANDLE_ERROR (-1098)
#define HAL_HANDLE_ERROR_MESSAGE "HAL: A handle parameter was passed incorrectly"
#define PARAMETER_OUT_OF_RANGE (-1028)
#define PARAMETER_OUT_OF_RANGE_MESSAGE "HAL: A parameter is out of range."
#define HAL_CAN_TIMEOUT (-1154)
#define HAL_CAN_TIMEOUT_MESSAGE "HAL: CAN Receive has Timed Out"
