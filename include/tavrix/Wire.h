// The controller's CAN wire protocol in one place: arbitration ids, API ids,
// parameter type codes and the encoding and decoding of every payload.
// The driver, the device library, the simulated controller and the trace
// decoder all build and read frames through this header, so the two ends of
// the bus cannot drift apart. Header-only and free of platform dependencies.
// Pure functions on values: callable from any thread, no waits, no
// allocation, no failure results. Decoders take any length: missing bytes
// read as zero and bytes beyond eight are ignored.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace zem::wire {

// ---------------------------------------------------------------------------
// Arbitration ids
// ---------------------------------------------------------------------------

constexpr int32_t kManufacturer = 5;
constexpr int32_t kDeviceType = 2;
// Device type 2 in bits 24..28, manufacturer 5 in bits 16..23.
constexpr uint32_t kIdBase = 0x02050000u;
// The manufacturer and device type bits of a 29-bit id.
constexpr uint32_t kIdFamilyMask = 0x1FFF0000u;
constexpr uint32_t kDeviceMask = 0x3Fu;
constexpr uint32_t kApiMask = 0x3FFu;
constexpr int kApiShift = 6;

constexpr uint32_t ComposeId(int32_t deviceNumber, int32_t apiId) {
  return kIdBase | ((static_cast<uint32_t>(apiId) & kApiMask) << kApiShift) |
         (static_cast<uint32_t>(deviceNumber) & kDeviceMask);
}
constexpr int32_t DeviceOf(uint32_t arbitrationId) {
  return static_cast<int32_t>(arbitrationId & kDeviceMask);
}
constexpr int32_t ApiOf(uint32_t arbitrationId) {
  return static_cast<int32_t>((arbitrationId >> kApiShift) & kApiMask);
}
// The other two fields of the id layout, for frames of any device on the bus.
constexpr int32_t ManufacturerOf(uint32_t arbitrationId) {
  return static_cast<int32_t>((arbitrationId >> 16) & 0xFFu);
}
constexpr int32_t DeviceTypeOf(uint32_t arbitrationId) {
  return static_cast<int32_t>((arbitrationId >> 24) & 0x1Fu);
}
// True for ids of this manufacturer and device type (the low 29 bits are compared).
constexpr bool IsControllerId(uint32_t arbitrationId) {
  return (arbitrationId & kIdFamilyMask) == kIdBase;
}

// ---------------------------------------------------------------------------
// API ids
// ---------------------------------------------------------------------------

namespace api {
constexpr int32_t kSetpointNeverFilled = 0;
constexpr int32_t kStatus0 = 96;
constexpr int32_t kStatus1 = 97;
constexpr int32_t kStatus2 = 98;
constexpr int32_t kClearFaults = 110;
constexpr int32_t kBurnFlash = 114;
constexpr int32_t kFollower = 115;
constexpr int32_t kFactoryDefaults = 116;
constexpr int32_t kHeartbeat = 146;
constexpr int32_t kFirmwareVersion = 152;
constexpr int32_t kSetEncoderPosition = 160;
constexpr int32_t kSetIAccum = 162;
constexpr int32_t kParameterBase = 0x300;
}  // namespace api

// Setpoint API ids indexed by control type 0..6 (they do not ascend).
constexpr std::array<int32_t, 7> kSetpointApiIds = {2, 18, 66, 50, 82, 67, 19};
// The same seven ids in the order in which the start-up sweep stops them.
constexpr std::array<int32_t, 7> kSweepApiIds = {2, 18, 50, 66, 82, 67, 19};

// A parameter travels on 0x300 OR its id.
constexpr int32_t ParameterApiId(int32_t parameterId) { return api::kParameterBase | parameterId; }
constexpr bool IsParameterApi(int32_t apiId) {
  return (apiId & api::kParameterBase) == api::kParameterBase;
}
// The parameter id is the low byte of the API id.
constexpr int32_t kParameterIdMask = 0xFF;
constexpr int32_t ParameterIdOf(int32_t apiId) { return apiId & kParameterIdMask; }
// Control type of a setpoint API id, or -1 when the id is not one of them.
constexpr int ControlTypeOfApi(int32_t apiId) {
  for (int t = 0; t < static_cast<int>(kSetpointApiIds.size()); ++t) {
    if (kSetpointApiIds[static_cast<size_t>(t)] == apiId) return t;
  }
  return -1;
}
// Every API id the setpoint sender writes on: the seven setpoint ids and the
// id of a slot never filled.
constexpr bool IsSetpointSenderApi(int32_t apiId) {
  return apiId == api::kSetpointNeverFilled || ControlTypeOfApi(apiId) >= 0;
}

// Heartbeat frames go out with device number 0.
constexpr uint32_t kHeartbeatId = ComposeId(0, api::kHeartbeat);
// The leader frame a follower of this kind is told to watch: status 0 of device 0.
constexpr uint32_t kStatus0LeaderFrameId = ComposeId(0, api::kStatus0);
constexpr uint32_t kLeaderKindController = 26;

// ---------------------------------------------------------------------------
// Periods
// ---------------------------------------------------------------------------

constexpr uint64_t kHeartbeatPeriodUs = 25000;
constexpr uint64_t kSetpointIdleWakeUs = 100000;
constexpr int32_t kDefaultCtrlFramePeriodMs = 10;
constexpr int32_t kDefaultStatus0PeriodMs = 10;
constexpr int32_t kDefaultStatus1PeriodMs = 20;
constexpr int32_t kDefaultStatus2PeriodMs = 50;
constexpr int32_t kDefaultCanTimeoutMs = 20;
// How long a controller keeps driving after the last enabled heartbeat.
constexpr uint64_t kHeartbeatWatchdogUs = 100000;

// ---------------------------------------------------------------------------
// Value types of parameter frames
// ---------------------------------------------------------------------------

namespace type {
constexpr uint8_t kInt32 = 0;
constexpr uint8_t kUint32 = 1;
constexpr uint8_t kFloat32 = 2;
constexpr uint8_t kBool = 3;
}  // namespace type

// ---------------------------------------------------------------------------
// Little-endian fields and float bit patterns
// ---------------------------------------------------------------------------

// The longest payload; setpoint, status, heartbeat and follower frames use all of it.
constexpr int kPayloadLength = 8;
using Payload = std::array<uint8_t, kPayloadLength>;

inline uint32_t FloatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}
inline float BitsToFloat(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

inline void PutU16(uint8_t* out, uint16_t v) {
  out[0] = static_cast<uint8_t>(v);
  out[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutU64(uint8_t* out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t GetU16(const uint8_t* in) { return static_cast<uint16_t>(in[0] | (in[1] << 8)); }
inline uint32_t GetU32(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
         (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24);
}
inline uint64_t GetU64(const uint8_t* in) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | in[i];
  return v;
}

// Copies a received payload of any length into 8 bytes; missing bytes are zero.
inline Payload PadPayload(const uint8_t* data, int length) {
  Payload p{};
  const int n = length < 0 ? 0 : (length > kPayloadLength ? kPayloadLength : length);
  if (data != nullptr && n > 0) std::memcpy(p.data(), data, static_cast<size_t>(n));
  return p;
}

// An 8-byte payload as one little-endian word and back; missing bytes read as zero.
inline uint64_t PayloadWord(const uint8_t* data, int length) {
  return GetU64(PadPayload(data, length).data());
}
inline Payload WordPayload(uint64_t word) {
  Payload p{};
  PutU64(p.data(), word);
  return p;
}

// ---------------------------------------------------------------------------
// Defined numeric conversions (C++ leaves out-of-range conversions undefined)
// ---------------------------------------------------------------------------

// Rounds to single precision; magnitudes beyond the float range become
// infinities, NaN stays NaN.
inline float ToFloatSaturating(double value) {
  constexpr double kMax = static_cast<double>(std::numeric_limits<float>::max());
  if (std::isnan(value)) return std::numeric_limits<float>::quiet_NaN();
  if (value > kMax || value < -kMax) {
    // Values just above the largest float may still round down to it.
    const double halfUlp = 0x1p103;  // half the spacing of floats near the top
    if (value >= kMax + halfUlp) return std::numeric_limits<float>::infinity();
    if (value <= -(kMax + halfUlp)) return -std::numeric_limits<float>::infinity();
    return value > 0 ? std::numeric_limits<float>::max() : -std::numeric_limits<float>::max();
  }
  return static_cast<float>(value);
}

// Infinity and NaN become +0.0; everything else is kept, -0.0 and subnormals included.
inline float SafeFloat(float value) { return std::isfinite(value) ? value : 0.0f; }

// Truncates toward zero into int32, saturating at the ends; NaN gives 0.
inline int32_t TruncToInt32Saturating(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

// ---------------------------------------------------------------------------
// Setpoint frame (8 bytes): value f32, auxiliary word s16, PID slot u8, 0
// ---------------------------------------------------------------------------

struct Setpoint {
  float value = 0.0f;
  int16_t aux = 0;
  uint8_t pidSlot = 0;
};

inline Payload EncodeSetpoint(const Setpoint& s) {
  Payload p{};
  PutU32(p.data(), FloatBits(s.value));
  PutU16(&p[4], static_cast<uint16_t>(s.aux));
  p[6] = s.pidSlot;
  return p;
}
inline Setpoint DecodeSetpoint(const uint8_t* data, int length) {
  const Payload p = PadPayload(data, length);
  Setpoint s;
  s.value = BitsToFloat(GetU32(p.data()));
  s.aux = static_cast<int16_t>(GetU16(&p[4]));
  s.pidSlot = p[6];
  return s;
}

// Auxiliary word: a signed count of 1/1024 units, limited to +-32767,
// truncated toward zero; NaN gives 0.
constexpr double kAuxWordScale = 1024.0;  // counts per unit
inline int16_t AuxWordFromValue(double auxValue) {
  const double scaled = auxValue * kAuxWordScale;
  if (std::isnan(scaled)) return 0;
  if (scaled > 32767.0) return 32767;
  if (scaled < -32767.0) return -32767;
  return static_cast<int16_t>(scaled);
}

// ---------------------------------------------------------------------------
// Value frames (5 bytes): 32-bit value word and a type byte. Parameter writes,
// factory defaults, encoder position and integral accumulator share this layout.
// ---------------------------------------------------------------------------

struct ValueFrame {
  uint32_t word = 0;
  uint8_t type = 0;
};

constexpr int kValueFrameLength = 5;
// A reply needs the value word; the type byte after it may be missing.
constexpr int kValueWordLength = 4;

inline std::array<uint8_t, kValueFrameLength> EncodeValueFrame(uint32_t word, uint8_t typeCode) {
  std::array<uint8_t, kValueFrameLength> p{};
  PutU32(p.data(), word);
  p[4] = typeCode;
  return p;
}
inline ValueFrame DecodeValueFrame(const uint8_t* data, int length) {
  const Payload p = PadPayload(data, length);
  return ValueFrame{GetU32(p.data()), p[4]};
}

// Device side: a value word read as a number by its type code. False for a
// type code that is not one of the four.
inline bool ValueWordToDouble(uint32_t word, uint8_t typeCode, double* out) {
  switch (typeCode) {
    case type::kInt32: *out = static_cast<int32_t>(word); return true;
    case type::kUint32: *out = word; return true;
    case type::kFloat32: *out = static_cast<double>(BitsToFloat(word)); return true;
    case type::kBool: *out = word != 0 ? 1.0 : 0.0; return true;
    default: return false;
  }
}

// ---------------------------------------------------------------------------
// Status frames
// ---------------------------------------------------------------------------

constexpr double kAppliedOutputScale = 32767.0;
constexpr double kBusVoltageLsb = 1.0 / 128.0;    // volts per count, 12 bits
constexpr double kOutputCurrentLsb = 1.0 / 32.0;  // amperes per count, 12 bits
constexpr uint32_t kTwelveBitMax = 0xFFF;
// The fault words of status frame 0: 16 bits, the top two the limit switches.
constexpr int kFaultBitCount = 16;
constexpr int kForwardLimitFaultBit = 14;
constexpr int kReverseLimitFaultBit = 15;

// Where a field lies in an 8-byte payload read as one little-endian 64-bit
// word: its lowest bit and its width in bits.
struct BitField {
  int shift = 0;
  int width = 0;
  constexpr uint64_t Mask() const {
    return width >= 64 ? ~uint64_t{0} : (uint64_t{1} << width) - 1;
  }
  constexpr uint64_t Get(uint64_t word) const { return (word >> shift) & Mask(); }
  constexpr uint64_t Put(uint64_t value) const { return (value & Mask()) << shift; }
};

// The status frames' layouts (the trace tools print them from here too).
namespace status0 {
constexpr BitField kAppliedOutput{0, 16};  // signed, full scale kAppliedOutputScale
constexpr BitField kFaults{16, 16};
constexpr BitField kStickyFaults{32, 16};
constexpr BitField kByte6Bits2To3{50, 2};
constexpr BitField kByte6Bit4{52, 1};
constexpr BitField kIsFollower{53, 1};
}  // namespace status0
namespace status1 {
constexpr BitField kVelocity{0, 32};  // float
constexpr BitField kMotorTemperature{32, 8};
constexpr BitField kBusVoltage{40, 12};     // counts of kBusVoltageLsb
constexpr BitField kOutputCurrent{52, 12};  // counts of kOutputCurrentLsb
}  // namespace status1
namespace status2 {
constexpr BitField kPosition{0, 32};  // float
constexpr BitField kIAccum{32, 32};   // float
}  // namespace status2

constexpr int kIsFollowerBit = status0::kIsFollower.shift - 48;  // of byte 6 of status frame 0

struct Status0 {
  double appliedOutput = 0.0;
  uint16_t faults = 0;
  uint16_t stickyFaults = 0;
  uint8_t byte6Bits2To3 = 0;
  uint32_t byte6Bit4 = 0;
  bool isFollower = false;
};

struct Status1 {
  double velocity = 0.0;
  uint8_t motorTemperature = 0;
  double busVoltage = 0.0;
  double outputCurrent = 0.0;
};

struct Status2 {
  double position = 0.0;
  double iAccum = 0.0;
};

inline float FloatField(uint64_t word, BitField field) {
  return BitsToFloat(static_cast<uint32_t>(field.Get(word)));
}

// sign is -1.0 while the device is inverted, else +1.0.
inline Status0 DecodeStatus0(const uint8_t* data, int length, double sign) {
  const uint64_t w = PayloadWord(data, length);
  Status0 s;
  const auto applied = static_cast<int16_t>(static_cast<uint16_t>(status0::kAppliedOutput.Get(w)));
  s.appliedOutput = applied / kAppliedOutputScale * sign;
  s.faults = static_cast<uint16_t>(status0::kFaults.Get(w));
  s.stickyFaults = static_cast<uint16_t>(status0::kStickyFaults.Get(w));
  s.byte6Bits2To3 = static_cast<uint8_t>(status0::kByte6Bits2To3.Get(w));
  s.byte6Bit4 = static_cast<uint32_t>(status0::kByte6Bit4.Get(w));
  s.isFollower = status0::kIsFollower.Get(w) != 0;
  return s;
}
inline Status1 DecodeStatus1(const uint8_t* data, int length, double sign) {
  const uint64_t w = PayloadWord(data, length);
  Status1 s;
  s.velocity = static_cast<double>(FloatField(w, status1::kVelocity)) * sign;
  s.motorTemperature = static_cast<uint8_t>(status1::kMotorTemperature.Get(w));
  s.busVoltage = static_cast<double>(status1::kBusVoltage.Get(w)) * kBusVoltageLsb;
  s.outputCurrent = static_cast<double>(status1::kOutputCurrent.Get(w)) * kOutputCurrentLsb;
  return s;
}
inline Status2 DecodeStatus2(const uint8_t* data, int length, double sign) {
  const uint64_t w = PayloadWord(data, length);
  Status2 s;
  s.position = static_cast<double>(FloatField(w, status2::kPosition)) * sign;
  s.iAccum = static_cast<double>(FloatField(w, status2::kIAccum)) * sign;
  return s;
}

// Device side: scale and saturate a physical value into an unsigned field.
inline uint32_t ScaleToUnsigned(double value, double lsb, uint32_t maxCount) {
  if (!(value > 0.0)) return 0;  // also NaN
  const double counts = std::round(value / lsb);
  return counts >= maxCount ? maxCount : static_cast<uint32_t>(counts);
}

inline Payload EncodeStatus0(double appliedOutput, uint16_t faults, uint16_t stickyFaults,
                             bool isFollower) {
  double raw = std::round(appliedOutput * kAppliedOutputScale);
  if (std::isnan(raw)) raw = 0.0;
  raw = raw > 32767.0 ? 32767.0 : (raw < -32768.0 ? -32768.0 : raw);
  const auto applied = static_cast<uint16_t>(static_cast<int16_t>(raw));
  return WordPayload(status0::kAppliedOutput.Put(applied) | status0::kFaults.Put(faults) |
                     status0::kStickyFaults.Put(stickyFaults) |
                     status0::kIsFollower.Put(isFollower ? 1 : 0));
}
inline Payload EncodeStatus1(float velocity, uint8_t motorTemperature, double busVoltage,
                             double outputCurrent) {
  const uint32_t volts = ScaleToUnsigned(busVoltage, kBusVoltageLsb, kTwelveBitMax);
  const uint32_t amps = ScaleToUnsigned(outputCurrent, kOutputCurrentLsb, kTwelveBitMax);
  return WordPayload(status1::kVelocity.Put(FloatBits(velocity)) |
                     status1::kMotorTemperature.Put(motorTemperature) |
                     status1::kBusVoltage.Put(volts) | status1::kOutputCurrent.Put(amps));
}
inline Payload EncodeStatus2(float position, float iAccum) {
  return WordPayload(status2::kPosition.Put(FloatBits(position)) |
                     status2::kIAccum.Put(FloatBits(iAccum)));
}

// Status-frame period command: the low 16 bits of the period, little-endian.
constexpr int kPeriodCommandLength = 2;
inline std::array<uint8_t, kPeriodCommandLength> EncodePeriodCommand(int32_t periodMs) {
  std::array<uint8_t, kPeriodCommandLength> p{};
  PutU16(p.data(), static_cast<uint16_t>(static_cast<uint32_t>(periodMs) & 0xFFFFu));
  return p;
}
// Device side: the period that a period command carries (missing bytes read as zero).
inline int32_t DecodePeriodCommand(const uint8_t* data, int length) {
  const Payload p = PadPayload(data, length);
  return GetU16(p.data());
}

// ---------------------------------------------------------------------------
// Heartbeat (8 bytes): the registry word, little-endian
// ---------------------------------------------------------------------------

inline Payload EncodeHeartbeat(uint64_t registryWord) { return WordPayload(registryWord); }
inline uint64_t DecodeHeartbeat(const uint8_t* data, int length) {
  return PayloadWord(data, length);
}

// ---------------------------------------------------------------------------
// Follower command (8 bytes): leader frame id, then the configuration word
// ---------------------------------------------------------------------------

constexpr int kFollowInvertBit = 18;
constexpr int kFollowKindShift = 24;

constexpr uint32_t FollowConfigWord(uint32_t leaderKind, bool invert) {
  return ((leaderKind & 0xFFu) << kFollowKindShift) | (invert ? (1u << kFollowInvertBit) : 0u);
}

struct Follow {
  uint32_t leaderFrameId = 0;
  uint32_t configWord = 0;
  bool Invert() const { return ((configWord >> kFollowInvertBit) & 1u) != 0; }
  uint32_t LeaderKind() const { return configWord >> kFollowKindShift; }
};

inline Payload EncodeFollow(uint32_t leaderFrameId, uint32_t configWord) {
  Payload p{};
  PutU32(p.data(), leaderFrameId);
  PutU32(&p[4], configWord);
  return p;
}
inline Follow DecodeFollow(const uint8_t* data, int length) {
  const Payload p = PadPayload(data, length);
  return Follow{GetU32(p.data()), GetU32(&p[4])};
}

// ---------------------------------------------------------------------------
// Firmware version reply: bytes 0..3 big-endian (major, minor, build high,
// build low), byte 4 the debug-build flag
// ---------------------------------------------------------------------------

struct Firmware {
  uint32_t version = 0;
  bool debugBuild = false;
  uint32_t Major() const { return version >> 24; }
  uint32_t Minor() const { return (version >> 16) & 0xFF; }
  uint32_t Build() const { return version & 0xFFFF; }
};

constexpr uint32_t FirmwareVersion(uint32_t major, uint32_t minor, uint32_t build) {
  return ((major & 0xFF) << 24) | ((minor & 0xFF) << 16) | (build & 0xFFFF);
}
// Oldest firmware the library accepts without a warning: 1.1.28.
constexpr uint32_t kMinimumFirmware = FirmwareVersion(1, 1, 28);
constexpr int kFirmwareReplyLength = 5;

inline Firmware DecodeFirmware(const uint8_t* data, int length) {
  const Payload p = PadPayload(data, length);
  Firmware f;
  f.version = (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
              (static_cast<uint32_t>(p[2]) << 8) | p[3];
  f.debugBuild = p[4] != 0;
  return f;
}
inline std::array<uint8_t, kFirmwareReplyLength> EncodeFirmware(uint32_t version, bool debugBuild) {
  return {static_cast<uint8_t>(version >> 24), static_cast<uint8_t>(version >> 16),
          static_cast<uint8_t>(version >> 8), static_cast<uint8_t>(version),
          static_cast<uint8_t>(debugBuild ? 1 : 0)};
}

// ---------------------------------------------------------------------------
// Burn-flash command: the 16-bit key 0x3AA3, little-endian
// ---------------------------------------------------------------------------

constexpr uint16_t kBurnFlashKey = 0x3AA3;
constexpr int kBurnFlashLength = 2;
inline std::array<uint8_t, kBurnFlashLength> EncodeBurnFlash() {
  std::array<uint8_t, kBurnFlashLength> p{};
  PutU16(p.data(), kBurnFlashKey);
  return p;
}
// Device side: true when a burn-flash command carries the full key.
inline bool IsBurnFlashCommand(const uint8_t* data, int length) {
  return length >= kBurnFlashLength && GetU16(PadPayload(data, length).data()) == kBurnFlashKey;
}

}  // namespace zem::wire
