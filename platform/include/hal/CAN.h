/* Raw CAN bus access of the hardware abstraction layer. */
#pragma once

#include <stdint.h>

#include "hal/Types.h"

#define HAL_CAN_SEND_PERIOD_NO_REPEAT 0
#define HAL_CAN_SEND_PERIOD_STOP_REPEATING (-1)

#define HAL_CAN_IS_FRAME_REMOTE 0x80000000
#define HAL_CAN_IS_FRAME_11BIT 0x40000000

#define HAL_ERR_CANSessionMux_InvalidBuffer (-44086)
#define HAL_ERR_CANSessionMux_MessageNotFound (-44087)
#define HAL_WARN_CANSessionMux_NoToken 44087
#define HAL_ERR_CANSessionMux_NotAllowed (-44088)
#define HAL_ERR_CANSessionMux_NotInitialized (-44089)

#ifdef __cplusplus
extern "C" {
#endif

/* periodMs 0 sends once; above 0 sends now and repeats at that period; -1 stops the
 * repetition of that id (data may then be null and dataSize 0). */
void HAL_CAN_SendMessage(uint32_t messageID, const uint8_t* data, uint8_t dataSize,
                         int32_t periodMs, int32_t* status);
/* Newest frame whose id matches *messageID under messageIDMask and that is new since
 * the previous receive of that id; else status HAL_ERR_CANSessionMux_MessageNotFound.
 * timeStamp is in milliseconds of the FPGA clock. */
void HAL_CAN_ReceiveMessage(uint32_t* messageID, uint32_t messageIDMask, uint8_t* data,
                            uint8_t* dataSize, uint32_t* timeStamp, int32_t* status);

#ifdef __cplusplus
} /* extern "C" */
#endif
