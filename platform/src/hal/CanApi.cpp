// C interface of the CAN bus: raw send/receive, the device API and the bus's
// simulation controls, over hal::CanBus.
#include <cstring>

#include "CanBus.h"
#include "Lifetime.h"
#include "Status.h"
#include "hal/CAN.h"
#include "hal/CANAPI.h"
#include "hal/Errors.h"
#include "hal/simulation/CanData.h"

namespace {

constexpr uint32_t kDeviceTypeMask = 0x1F;
constexpr uint32_t kManufacturerMask = 0xFF;
constexpr uint32_t kDeviceIdMask = 0x3F;

uint32_t DeviceBaseId(int32_t manufacturer, int32_t deviceId, int32_t deviceType) {
  return (static_cast<uint32_t>(deviceType) & kDeviceTypeMask) << 24 |
         (static_cast<uint32_t>(manufacturer) & kManufacturerMask) << 16 |
         (static_cast<uint32_t>(deviceId) & kDeviceIdMask);
}

bool IsValidLength(const uint8_t* data, int32_t length) {
  return length >= 0 && length <= hal::kMaxFrameBytes && (data != nullptr || length == 0);
}

void Write(HAL_CANHandle handle, const uint8_t* data, int32_t length, int32_t apiId,
           int32_t periodMs, int32_t* status) {
  hal::CheckAlive("HAL_WriteCANPacket");
  uint32_t messageID = 0;
  if (!hal::CanBus::Get().DeviceMessageId(handle, apiId, &messageID)) {
    hal::SetStatus(status, HAL_HANDLE_ERROR);
    return;
  }
  if (!IsValidLength(data, length)) {
    hal::SetStatus(status, HAL_ERR_CANSessionMux_InvalidBuffer);
    return;
  }
  hal::SetStatus(status,
                 hal::CanBus::Get().Send(messageID, data, static_cast<uint8_t>(length), periodMs));
}

void Read(HAL_CANHandle handle, int32_t apiId, const hal::ReadRequest& request, uint8_t* data,
          int32_t* length, uint64_t* receivedTimestamp, int32_t* status) {
  hal::CheckAlive("HAL_ReadCANPacket");
  if (data == nullptr || length == nullptr || receivedTimestamp == nullptr) {
    hal::SetStatus(status, HAL_ERR_CANSessionMux_InvalidBuffer);
    return;
  }
  hal::SetStatus(status,
                 hal::CanBus::Get().Read(handle, apiId, request, data, length, receivedTimestamp));
}

hal::ReadRequest Request(halsim::CanReadKind kind, int32_t timeoutMs = 0, int32_t periodMs = 0) {
  hal::ReadRequest request;
  request.kind = kind;
  request.timeoutMs = timeoutMs;
  request.periodMs = periodMs;
  return request;
}

}  // namespace

extern "C" {

void HAL_CAN_SendMessage(uint32_t messageID, const uint8_t* data, uint8_t dataSize,
                         int32_t periodMs, int32_t* status) {
  hal::CheckAlive(__func__);
  hal::SetStatus(status, hal::CanBus::Get().Send(messageID, data, dataSize, periodMs));
}

void HAL_CAN_ReceiveMessage(uint32_t* messageID, uint32_t messageIDMask, uint8_t* data,
                            uint8_t* dataSize, uint32_t* timeStamp, int32_t* status) {
  hal::CheckAlive(__func__);
  hal::SetStatus(status,
                 hal::CanBus::Get().Receive(messageID, messageIDMask, data, dataSize, timeStamp));
}

HAL_CANHandle HAL_InitializeCAN(HAL_CANManufacturer manufacturer, int32_t deviceId,
                                HAL_CANDeviceType deviceType, int32_t* status) {
  hal::InitializeOnce();
  hal::CheckAlive(__func__);
  HAL_CANHandle handle =
      hal::CanBus::Get().OpenDevice(DeviceBaseId(manufacturer, deviceId, deviceType));
  hal::SetStatus(status, handle == HAL_kInvalidHandle ? HAL_HANDLE_ERROR : HAL_SUCCESS);
  return handle;
}

void HAL_CleanCAN(HAL_CANHandle handle) {
  hal::CheckAlive(__func__);
  hal::CanBus::Get().CloseDevice(handle);
}

void HAL_WriteCANPacket(HAL_CANHandle handle, const uint8_t* data, int32_t length, int32_t apiId,
                        int32_t* status) {
  Write(handle, data, length, apiId, HAL_CAN_SEND_PERIOD_NO_REPEAT, status);
}

void HAL_WriteCANPacketRepeating(HAL_CANHandle handle, const uint8_t* data, int32_t length,
                                 int32_t apiId, int32_t repeatMs, int32_t* status) {
  if (repeatMs < 0) {
    // -1 would silently mean "stop repeating"; a negative period is a caller error.
    hal::SetStatus(status, PARAMETER_OUT_OF_RANGE);
    return;
  }
  Write(handle, data, length, apiId, repeatMs, status);
}

void HAL_StopCANPacketRepeating(HAL_CANHandle handle, int32_t apiId, int32_t* status) {
  Write(handle, nullptr, 0, apiId, HAL_CAN_SEND_PERIOD_STOP_REPEATING, status);
}

void HAL_ReadCANPacketNew(HAL_CANHandle handle, int32_t apiId, uint8_t* data, int32_t* length,
                          uint64_t* receivedTimestamp, int32_t* status) {
  Read(handle, apiId, Request(halsim::CanReadKind::kNew), data, length, receivedTimestamp, status);
}

void HAL_ReadCANPacketLatest(HAL_CANHandle handle, int32_t apiId, uint8_t* data, int32_t* length,
                             uint64_t* receivedTimestamp, int32_t* status) {
  Read(handle, apiId, Request(halsim::CanReadKind::kLatest), data, length, receivedTimestamp,
       status);
}

void HAL_ReadCANPacketTimeout(HAL_CANHandle handle, int32_t apiId, uint8_t* data, int32_t* length,
                              uint64_t* receivedTimestamp, int32_t timeoutMs, int32_t* status) {
  Read(handle, apiId, Request(halsim::CanReadKind::kTimeout, timeoutMs), data, length,
       receivedTimestamp, status);
}

void HAL_ReadCANPeriodicPacket(HAL_CANHandle handle, int32_t apiId, uint8_t* data, int32_t* length,
                               uint64_t* receivedTimestamp, int32_t timeoutMs, int32_t periodMs,
                               int32_t* status) {
  Read(handle, apiId, Request(halsim::CanReadKind::kPeriodic, timeoutMs, periodMs), data, length,
       receivedTimestamp, status);
}

int32_t HALSIM_RegisterCanSendMessageCallback(HAL_CAN_SendMessageCallback callback, void* param) {
  return hal::CanBus::Get().RegisterSendCallback(callback, param);
}

void HALSIM_CancelCanSendMessageCallback(int32_t uid) {
  hal::CanBus::Get().CancelSendCallback(uid);
}

void HALSIM_DeliverCanMessage(uint32_t messageID, const uint8_t* data, uint8_t dataSize) {
  hal::CanBus::Get().Deliver(messageID, data, dataSize);
}

int32_t HALSIM_RegisterCanFrameCallback(HALSIM_CanFrameCallback callback, void* param) {
  return hal::CanBus::Get().RegisterFrameCallback(callback, param);
}

void HALSIM_CancelCanFrameCallback(int32_t uid) { hal::CanBus::Get().CancelFrameCallback(uid); }

void HALSIM_ResetCanBusData(void) { hal::CanBus::Get().ResetContent(); }

}  // extern "C"
