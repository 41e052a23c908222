// A CAN device endpoint (manufacturer, device type, device number) whose frames are
// written and read by API id. Move-only; thread-safe.
//
// The reads never wait; they follow the HAL's CAN API reads (hal/CANAPI.h) and return
// true only when a frame was written to the CANData. Not finding a frame, or only a
// stale one, is not an error of the object.
#pragma once

#include <stdint.h>

#include "frc/ErrorBase.h"
#include "hal/CANAPITypes.h"
#include "hal/Types.h"

namespace frc {

struct CANData {
  uint8_t data[8];
  int32_t length;
  uint64_t timestamp;  // milliseconds of the FPGA clock
};

class CAN : public ErrorBase {
 public:
  // A team-use device (manufacturer 8, device type 10).
  explicit CAN(int deviceId);
  CAN(int deviceId, int deviceManufacturer, int deviceType);
  ~CAN() override;

  CAN(CAN&& other) noexcept;
  CAN& operator=(CAN&& other) noexcept;

  void WritePacket(const uint8_t* data, int length, int apiId);
  void WritePacketRepeating(const uint8_t* data, int length, int apiId, int repeatMs);
  void StopPacketRepeating(int apiId);
  bool ReadPacketNew(int apiId, CANData* data);
  bool ReadPacketLatest(int apiId, CANData* data);
  bool ReadPacketTimeout(int apiId, int timeoutMs, CANData* data);
  bool ReadPeriodicPacket(int apiId, int timeoutMs, int periodMs, CANData* data);

  static constexpr HAL_CANManufacturer kTeamManufacturer = HAL_CAN_Man_kTeamUse;
  static constexpr HAL_CANDeviceType kTeamDeviceType = HAL_CAN_Dev_kMiscellaneous;

 private:
  HAL_CANHandle m_handle = HAL_kInvalidHandle;
};

}  // namespace frc
