/* CAN device API: a handle per (manufacturer, device type, device number) through which
 * frames are written and read by API id. Arbitration id:
 * (type & 0x1F) << 24 | (manufacturer & 0xFF) << 16 | (apiId & 0x3FF) << 6 | (deviceId & 0x3F).
 * Timestamps are in milliseconds of the FPGA clock. A read that finds nothing leaves
 * zero bytes and length 0. */
#pragma once

#include <stdint.h>

#include "hal/CANAPITypes.h"
#include "hal/Types.h"

#ifdef __cplusplus
extern "C" {
#endif

HAL_CANHandle HAL_InitializeCAN(HAL_CANManufacturer manufacturer, int32_t deviceId,
                                HAL_CANDeviceType deviceType, int32_t* status);
void HAL_CleanCAN(HAL_CANHandle handle);
void HAL_WriteCANPacket(HAL_CANHandle handle, const uint8_t* data, int32_t length, int32_t apiId,
                        int32_t* status);
void HAL_WriteCANPacketRepeating(HAL_CANHandle handle, const uint8_t* data, int32_t length,
                                 int32_t apiId, int32_t repeatMs, int32_t* status);
void HAL_StopCANPacketRepeating(HAL_CANHandle handle, int32_t apiId, int32_t* status);
/* Newest frame of that API id that is new since the previous read of it on this handle. */
void HAL_ReadCANPacketNew(HAL_CANHandle handle, int32_t apiId, uint8_t* data, int32_t* length,
                          uint64_t* receivedTimestamp, int32_t* status);
/* Newest frame of that API id, whether read before or not. */
void HAL_ReadCANPacketLatest(HAL_CANHandle handle, int32_t apiId, uint8_t* data,
                             int32_t* length, uint64_t* receivedTimestamp, int32_t* status);
/* Like ReadCANPacketNew, waiting up to timeoutMs (wall clock) for such a frame. */
void HAL_ReadCANPacketTimeout(HAL_CANHandle handle, int32_t apiId, uint8_t* data,
                              int32_t* length, uint64_t* receivedTimestamp, int32_t timeoutMs,
                              int32_t* status);
/* The newest frame at once when it is younger than periodMs; else like
 * ReadCANPacketTimeout. */
void HAL_ReadCANPeriodicPacket(HAL_CANHandle handle, int32_t apiId, uint8_t* data,
                               int32_t* length, uint64_t* receivedTimestamp, int32_t timeoutMs,
                               int32_t periodMs, int32_t* status);

#ifdef __cplusplus
}  /* extern "C" */
#endif
