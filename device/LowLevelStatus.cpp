// Periodic status frames of the low-level device: reading and decoding the
// newest frame of each kind, and telling the controller how often to send them.
#include <limits>

#include <hal/HALBase.h>

#include "tavrix/CANTavrixLowLevel.h"

namespace zem {

double CANTavrixLowLevel::InversionSign() const { return inverted ? -1.0 : 1.0; }

int32_t CANTavrixLowLevel::StatusTimeoutMs(int32_t periodMs) const {
  // Formed in 64 bits so that large or negative values cannot overflow; a sum
  // beyond the 32-bit range saturates at its end. A negative sum is passed on
  // as it is (the read then looks once without waiting).
  const int64_t timeout = int64_t{ReplyTimeoutMs()} + 2 * int64_t{periodMs};
  if (timeout < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  if (timeout > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(timeout);
}

frc::CANData CANTavrixLowLevel::ReadStatusFrame(PeriodicFrame kind, int32_t apiId,
                                                int32_t periodMs) {
  // Zeroed first and decoded by its own length: no frame decodes as zeros.
  frc::CANData frame{};
  const bool got = canDevice.ReadPeriodicPacket(apiId, StatusTimeoutMs(periodMs), periodMs, &frame);
  // The real platform reports an empty frame as read when nothing feeds the
  // bus: only a frame with bytes counts as one that came.
  if (got && frame.length > 0) {
    statusStamps[static_cast<size_t>(kind)] = StatusStamp{true, frame.timestamp};
  }
  return frame;
}

int64_t CANTavrixLowLevel::GetStatusFrameAgeMs(PeriodicFrame frame) const {
  const auto index = static_cast<uint32_t>(static_cast<int32_t>(frame));
  if (index >= statusStamps.size() || !statusStamps[index].received) return kNoStatusFrame;
  int32_t status = 0;
  const uint64_t nowMs = HAL_GetFPGATime(&status) / 1000;
  // Stamps may carry only 32 bits: the difference is taken modulo 2^32. One
  // that lies ahead of the clock reads as a frame of this moment.
  const uint32_t age =
      static_cast<uint32_t>(nowMs) - static_cast<uint32_t>(statusStamps[index].timestampMs);
  return age > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()) ? 0 : int64_t{age};
}

CANTavrixLowLevel::PeriodicStatus0 CANTavrixLowLevel::GetPeriodicStatus0() {
  const frc::CANData frame =
      ReadStatusFrame(PeriodicFrame::kStatus0, wire::api::kStatus0, status0PeriodMs);
  return wire::DecodeStatus0(frame.data, frame.length, InversionSign());
}

CANTavrixLowLevel::PeriodicStatus1 CANTavrixLowLevel::GetPeriodicStatus1() {
  const frc::CANData frame =
      ReadStatusFrame(PeriodicFrame::kStatus1, wire::api::kStatus1, status1PeriodMs);
  return wire::DecodeStatus1(frame.data, frame.length, InversionSign());
}

CANTavrixLowLevel::PeriodicStatus2 CANTavrixLowLevel::GetPeriodicStatus2() {
  const frc::CANData frame =
      ReadStatusFrame(PeriodicFrame::kStatus2, wire::api::kStatus2, status2PeriodMs);
  return wire::DecodeStatus2(frame.data, frame.length, InversionSign());
}

CANError CANTavrixLowLevel::SetPeriodicFramePeriod(PeriodicFrame frame, int periodMs) {
  int32_t apiId = 0;
  switch (frame) {
    case PeriodicFrame::kStatus0:
      status0PeriodMs = periodMs;
      apiId = wire::api::kStatus0;
      break;
    case PeriodicFrame::kStatus1:
      status1PeriodMs = periodMs;
      apiId = wire::api::kStatus1;
      break;
    case PeriodicFrame::kStatus2:
      status2PeriodMs = periodMs;
      apiId = wire::api::kStatus2;
      break;
    default: return CANError::kFailed;
  }
  const auto payload = wire::EncodePeriodCommand(periodMs);
  canDevice.WritePacket(payload.data(), static_cast<int>(payload.size()), apiId);
  return CANError::kSuccess;
}

float CANTavrixLowLevel::GetSafeFloat(float value) { return wire::SafeFloat(value); }

}  // namespace zem
