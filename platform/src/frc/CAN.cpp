// frc::CAN over the HAL's CAN device API.
#include "frc/CAN.h"

#include <utility>

#include "hal/CAN.h"
#include "hal/CANAPI.h"
#include "hal/Errors.h"
#include "hal/HALBase.h"

namespace frc {

namespace {

// Not finding a frame, or only a stale one, is a normal outcome of a read, not an
// error of the object. The outputs are as the HAL left them (see hal/CANAPI.h).
bool ReadSucceeded(const ErrorBase& object, int32_t status, const char* function) {
  if (status == HAL_CAN_TIMEOUT || status == HAL_ERR_CANSessionMux_MessageNotFound) return false;
  if (status != 0) {
    object.SetError(status, HAL_GetErrorMessage(status), __FILE__, function, __LINE__);
    return false;
  }
  return true;
}

}  // namespace

CAN::CAN(int deviceId) : CAN(deviceId, kTeamManufacturer, kTeamDeviceType) {}

CAN::CAN(int deviceId, int deviceManufacturer, int deviceType) {
  int32_t status = 0;
  m_handle = HAL_InitializeCAN(static_cast<HAL_CANManufacturer>(deviceManufacturer), deviceId,
                               static_cast<HAL_CANDeviceType>(deviceType), &status);
  wpi_setErrorWithContext(status, "CAN");
}

CAN::~CAN() {
  if (m_handle != HAL_kInvalidHandle) HAL_CleanCAN(m_handle);
}

// The moved-from object gives up its handle, so that only one destructor closes it.
CAN::CAN(CAN&& other) noexcept
    : ErrorBase(std::move(other)), m_handle(std::exchange(other.m_handle, HAL_kInvalidHandle)) {}

CAN& CAN::operator=(CAN&& other) noexcept {
  if (this != &other) {
    if (m_handle != HAL_kInvalidHandle) HAL_CleanCAN(m_handle);
    // Handle first: nothing of `other` is read once it has been moved from.
    m_handle = std::exchange(other.m_handle, HAL_kInvalidHandle);
    ErrorBase::operator=(std::move(other));
  }
  return *this;
}

void CAN::WritePacket(const uint8_t* data, int length, int apiId) {
  int32_t status = 0;
  HAL_WriteCANPacket(m_handle, data, length, apiId, &status);
  wpi_setErrorWithContext(status, "WritePacket");
}

void CAN::WritePacketRepeating(const uint8_t* data, int length, int apiId, int repeatMs) {
  int32_t status = 0;
  HAL_WriteCANPacketRepeating(m_handle, data, length, apiId, repeatMs, &status);
  wpi_setErrorWithContext(status, "WritePacketRepeating");
}

void CAN::StopPacketRepeating(int apiId) {
  int32_t status = 0;
  HAL_StopCANPacketRepeating(m_handle, apiId, &status);
  wpi_setErrorWithContext(status, "StopPacketRepeating");
}

bool CAN::ReadPacketNew(int apiId, CANData* data) {
  if (data == nullptr) return false;
  int32_t status = 0;
  HAL_ReadCANPacketNew(m_handle, apiId, data->data, &data->length, &data->timestamp, &status);
  return ReadSucceeded(*this, status, "ReadPacketNew");
}

bool CAN::ReadPacketLatest(int apiId, CANData* data) {
  if (data == nullptr) return false;
  int32_t status = 0;
  HAL_ReadCANPacketLatest(m_handle, apiId, data->data, &data->length, &data->timestamp, &status);
  return ReadSucceeded(*this, status, "ReadPacketLatest");
}

bool CAN::ReadPacketTimeout(int apiId, int timeoutMs, CANData* data) {
  if (data == nullptr) return false;
  int32_t status = 0;
  HAL_ReadCANPacketTimeout(m_handle, apiId, data->data, &data->length, &data->timestamp, timeoutMs,
                           &status);
  return ReadSucceeded(*this, status, "ReadPacketTimeout");
}

bool CAN::ReadPeriodicPacket(int apiId, int timeoutMs, int periodMs, CANData* data) {
  if (data == nullptr) return false;
  int32_t status = 0;
  HAL_ReadCANPeriodicPacket(m_handle, apiId, data->data, &data->length, &data->timestamp, timeoutMs,
                            periodMs, &status);
  return ReadSucceeded(*this, status, "ReadPeriodicPacket");
}

}  // namespace frc
