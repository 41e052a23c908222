// Periodic status frames of the low-level device: reading and decoding the
// newest frame of each kind, and telling the controller how often to send them.
#include <limits>

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

frc::CANData CANTavrixLowLevel::ReadStatusFrame(int32_t apiId, int32_t periodMs) {
  // Zeroed first and decoded by its own length: no frame decodes as zeros.
  frc::CANData frame{};
  canDevice.ReadPeriodicPacket(apiId, StatusTimeoutMs(periodMs), periodMs, &frame);
  return frame;
}

CANTavrixLowLevel::PeriodicStatus0 CANTavrixLowLevel::GetPeriodicStatus0() {
  const frc::CANData frame = ReadStatusFrame(wire::api::kStatus0, status0PeriodMs);
  return wire::DecodeStatus0(frame.data, frame.length, InversionSign());
}

CANTavrixLowLevel::PeriodicStatus1 CANTavrixLowLevel::GetPeriodicStatus1() {
  const frc::CANData frame = ReadStatusFrame(wire::api::kStatus1, status1PeriodMs);
  return wire::DecodeStatus1(frame.data, frame.length, InversionSign());
}

CANTavrixLowLevel::PeriodicStatus2 CANTavrixLowLevel::GetPeriodicStatus2() {
  const frc::CANData frame = ReadStatusFrame(wire::api::kStatus2, status2PeriodMs);
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
    default:
      return CANError::kFailed;
  }
  const auto payload = wire::EncodePeriodCommand(periodMs);
  canDevice.WritePacket(payload.data(), static_cast<int>(payload.size()), apiId);
  return CANError::kSuccess;
}

float CANTavrixLowLevel::GetSafeFloat(float value) { return wire::SafeFloat(value); }

}  // namespace zem
