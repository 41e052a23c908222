// Simulated CAN bus: observation of every frame sent by the robot side, and the
// device side that puts frames on the bus (the stand-in's simulation API).
#pragma once

#include <stdint.h>

#include "hal/Types.h"

#ifdef __cplusplus
extern "C" {
#endif

// WPILib's callback type: called on the sending thread for every frame that the
// robot side sends, whichever API sent it (also for the stop-repeating call,
// with periodMs -1, and for each repetition of a repeating frame).
typedef void (*HAL_CAN_SendMessageCallback)(const char* name, void* param, uint32_t messageID,
                                            const uint8_t* data, uint8_t dataSize, int32_t periodMs,
                                            int32_t* status);

int32_t HALSIM_RegisterCanSendMessageCallback(HAL_CAN_SendMessageCallback callback, void* param);
// Cancelling does not wait for a call already running on another thread (the
// driver's threads send at any time): keep what param points at alive until no
// thread can still be sending, e.g. for the rest of the process. The same holds
// for HALSIM_CancelCanFrameCallback.
void HALSIM_CancelCanSendMessageCallback(int32_t uid);

// Device side: puts a frame on the bus from a device (a reply or a status
// frame), stamped with the simulated time. The robot side reads it through
// frc::CAN and HAL_CAN_ReceiveMessage. A delivery made from inside a send
// callback is visible to the robot-side read that follows the send.
// dataSize above 8 is cut to 8.
void HALSIM_DeliverCanMessage(uint32_t messageID, const uint8_t* data, uint8_t dataSize);

// Device side: called for every frame on the bus, robot-sent (fromRobot 1,
// including stop-repeating calls with dataSize 0 and periodMs -1) and
// device-delivered (fromRobot 0), on the thread that put it there, after the
// frame is stored. Simulated devices use it to hear commands and each other.
typedef void (*HALSIM_CanFrameCallback)(void* param, uint64_t timestampUs, uint32_t messageID,
                                        const uint8_t* data, uint8_t dataSize, int32_t periodMs,
                                        HAL_Bool fromRobot);
int32_t HALSIM_RegisterCanFrameCallback(HALSIM_CanFrameCallback callback, void* param);
void HALSIM_CancelCanFrameCallback(int32_t uid);

// Clears the bus content: the newest frame of every id, every repeating frame and
// what each handle has received, so that reads find nothing until new frames
// arrive. Handles, callbacks and the records (halsim::ResetRecords) stay.
void HALSIM_ResetCanBusData(void);

#ifdef __cplusplus
}  // extern "C"
#endif
