/* CAN device API: a handle per (manufacturer, device type, device number) through which
 * frames are written and read by API id. Arbitration id:
 * (type & 0x1F) << 24 | (manufacturer & 0xFF) << 16 | (apiId & 0x3FF) << 6 | (deviceId & 0x3F).
 * Timestamps are in milliseconds of the FPGA clock, cut to 32 bits.
 * No read waits. Each read receives at most once (a frame delivered since this handle's
 * previous receive of that id, and after the handle was opened) and keeps what it
 * received as the handle's cached frame of that id. A read that fails sets
 * HAL_ERR_CANSessionMux_MessageNotFound, or HAL_CAN_TIMEOUT for a cached frame too old;
 * only ReadCANPacketNew then writes its outputs (length 0, timestamp 0), the others
 * leave them as they were. A frame found writes its bytes, length and timestamp. */
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
/* A newly received frame of that API id, else nothing. */
void HAL_ReadCANPacketNew(HAL_CANHandle handle, int32_t apiId, uint8_t* data, int32_t* length,
                          uint64_t* receivedTimestamp, int32_t* status);
/* A newly received frame, else the cached one whatever its age. */
void HAL_ReadCANPacketLatest(HAL_CANHandle handle, int32_t apiId, uint8_t* data, int32_t* length,
                             uint64_t* receivedTimestamp, int32_t* status);
/* A newly received frame, else the cached one while it is at most timeoutMs old
 * (whole ms), else nothing. */
void HAL_ReadCANPacketTimeout(HAL_CANHandle handle, int32_t apiId, uint8_t* data, int32_t* length,
                              uint64_t* receivedTimestamp, int32_t timeoutMs, int32_t* status);
/* The cached frame without receiving while it is younger than periodMs; else like
 * ReadCANPacketTimeout. */
void HAL_ReadCANPeriodicPacket(HAL_CANHandle handle, int32_t apiId, uint8_t* data, int32_t* length,
                               uint64_t* receivedTimestamp, int32_t timeoutMs, int32_t periodMs,
                               int32_t* status);

#ifdef __cplusplus
} /* extern "C" */
#endif
