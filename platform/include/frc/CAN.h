// A CAN device endpoint (manufacturer, device type, device number) whose frames are
// written and read by API id. Move-only; thread-safe.
//
// Differs from the 2019 library on purpose, because the motor controller library
// relies on it: ReadPacketTimeout waits (event-driven, bounded on the wall clock) for
// a frame of that API id that arrived since the previous read of it, instead of only
// checking the age of a cached frame; ReadPeriodicPacket returns the newest frame at
// once when it is younger than periodMs and otherwise waits like ReadPacketTimeout.
// A read that returns false leaves zero bytes and length 0 in the CANData.
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
