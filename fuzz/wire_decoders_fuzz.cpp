// Fuzzes the wire decoders that read what comes off the bus (status frames,
// parameter, firmware and follower replies, setpoint, heartbeat and period
// frames as the controller reads them) and the numeric conversions that turn
// untrusted numbers into floats and integers. Input: one byte for the claimed
// length (any int from -4 to 251, as a receive record may carry), then the
// payload bytes. Each decode is checked against its encoder where the layout
// is lossless, and the conversions against their documented ranges.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "tavrix/Wire.h"

namespace {

namespace wire = zem::wire;

void Check(bool ok) {
  if (!ok) std::abort();
}

bool SameBytes(const uint8_t* a, const uint8_t* b, size_t n) { return std::memcmp(a, b, n) == 0; }

void CheckSetpoint(const wire::Payload& p, int length) {
  const wire::Payload again = wire::EncodeSetpoint(wire::DecodeSetpoint(p.data(), length));
  Check(SameBytes(again.data(), p.data(), 7) && again[7] == 0);
}

void CheckStatusFrames(const wire::Payload& p, int length) {
  for (double sign : {1.0, -1.0}) {
    const wire::Status0 s0 = wire::DecodeStatus0(p.data(), length, sign);
    Check(std::isfinite(s0.appliedOutput) && std::fabs(s0.appliedOutput) <= 32768.0 / 32767.0);
    Check(s0.byte6Bits2To3 <= 3 && s0.byte6Bit4 <= 1);
    const wire::Status1 s1 = wire::DecodeStatus1(p.data(), length, sign);
    Check(s1.busVoltage >= 0.0 && s1.busVoltage <= wire::kTwelveBitMax * wire::kBusVoltageLsb);
    Check(s1.outputCurrent >= 0.0 &&
          s1.outputCurrent <= wire::kTwelveBitMax * wire::kOutputCurrentLsb);
    wire::DecodeStatus2(p.data(), length, sign);
  }
  // Voltage, current and temperature survive a decode and re-encode exactly.
  const wire::Status1 s1 = wire::DecodeStatus1(p.data(), length, 1.0);
  const wire::Payload again =
      wire::EncodeStatus1(0.0f, s1.motorTemperature, s1.busVoltage, s1.outputCurrent);
  Check(SameBytes(again.data() + 4, p.data() + 4, 4));
  // Applied output re-encodes to the same count.
  const wire::Status0 s0 = wire::DecodeStatus0(p.data(), length, 1.0);
  const wire::Payload out0 =
      wire::EncodeStatus0(s0.appliedOutput, s0.faults, s0.stickyFaults, false);
  Check(SameBytes(out0.data(), p.data(), 6));
}

void CheckReplies(const wire::Payload& p, int length) {
  const wire::ValueFrame value = wire::DecodeValueFrame(p.data(), length);
  const auto valueAgain = wire::EncodeValueFrame(value.word, value.type);
  Check(SameBytes(valueAgain.data(), p.data(), valueAgain.size()));
  double number = 0.0;
  Check(wire::ValueWordToDouble(value.word, value.type, &number) ==
        (value.type <= wire::type::kBool));

  const wire::Firmware firmware = wire::DecodeFirmware(p.data(), length);
  const auto firmwareAgain = wire::EncodeFirmware(firmware.version, firmware.debugBuild);
  Check(SameBytes(firmwareAgain.data(), p.data(), 4) && firmwareAgain[4] == (p[4] != 0 ? 1 : 0));
  Check(firmware.Major() <= 0xFF && firmware.Minor() <= 0xFF && firmware.Build() <= 0xFFFF);

  const wire::Follow follow = wire::DecodeFollow(p.data(), length);
  const wire::Payload followAgain = wire::EncodeFollow(follow.leaderFrameId, follow.configWord);
  Check(followAgain == p);

  Check(wire::EncodeHeartbeat(wire::DecodeHeartbeat(p.data(), length)) == p);
  const auto period = wire::EncodePeriodCommand(wire::DecodePeriodCommand(p.data(), length));
  Check(SameBytes(period.data(), p.data(), period.size()));
  wire::IsBurnFlashCommand(p.data(), length);
}

void CheckConversions(const wire::Payload& p) {
  double d = 0.0;
  std::memcpy(&d, p.data(), sizeof d);
  const float f = wire::ToFloatSaturating(d);
  Check(std::isnan(f) == std::isnan(d));
  constexpr double kFloatMax = static_cast<double>(std::numeric_limits<float>::max());
  if (std::isfinite(d) && std::fabs(d) <= kFloatMax) Check(std::isfinite(f));
  Check(std::isfinite(wire::SafeFloat(f)));
  const int32_t truncated = wire::TruncToInt32Saturating(d);
  if (std::isnan(d)) Check(truncated == 0);
  const int16_t aux = wire::AuxWordFromValue(d);
  Check(aux >= -32767 && aux <= 32767);
  Check(wire::ScaleToUnsigned(d, wire::kBusVoltageLsb, wire::kTwelveBitMax) <= wire::kTwelveBitMax);
  wire::EncodeStatus0(d, 0, 0, true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int claimedLength = static_cast<int>(data[0]) - 4;
  const int available = static_cast<int>(size - 1);
  // The bytes a decoder sees: what the record holds, zeros past its length.
  const int held = claimedLength < available ? claimedLength : available;
  const wire::Payload payload = wire::PadPayload(data + 1, held);
  CheckSetpoint(payload, held);
  CheckStatusFrames(payload, held);
  CheckReplies(payload, held);
  CheckConversions(wire::PadPayload(data + 1, available));
  // The decoders themselves with a length claim beyond the buffer they get.
  wire::DecodeStatus0(payload.data(), claimedLength, 1.0);
  wire::DecodeFirmware(payload.data(), claimedLength);
  return 0;
}
