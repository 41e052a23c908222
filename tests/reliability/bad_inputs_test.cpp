// The table of bad inputs in docs/reliability.md, row by row: device numbers
// outside 1..62, non-finite and out-of-range setpoints, control types and PID
// slots out of range, odd periods, short replies, no reply and a corrupted
// follower echo. Each outcome is the documented one and nothing else happens
// (no frame, no stored value, no wait beyond the CAN timeout).
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <hal/simulation/CanData.h>
#include <hal/simulation/DriverStationData.h>
#include <hal/simulation/MockHooks.h>
#include <hal/simulation/SimRecords.h>

#include "driver_startup.h"
#include "tavrix/CANTavrix.h"
#include "tavrix/TavrixDriver.h"
#include "tavrix/Wire.h"
#include "tavrix/sim/SimController.h"

namespace {

namespace wire = zem::wire;
using zem::CANError;
using zem::CANTavrix;
using zem::ControlType;
using Parameter = zem::CANTavrixLowLevel::ConfigParameter;
using ParameterStatus = zem::CANTavrixLowLevel::ParameterStatus;
using MotorType = zem::CANTavrixLowLevel::MotorType;
using tavrix::sim::BusFaults;
using tavrix::sim::SimController;

constexpr int32_t kDevice = 5;
constexpr uint64_t kUsPerMs = 1000;
constexpr uint64_t kOnePeriodUs = 10 * kUsPerMs;
constexpr uint64_t kOneSecondUs = 1000 * kUsPerMs;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Robot-sent frames of one device number on one API id (-1: any setpoint id).
std::vector<halsim::CanFrameRecord> FramesOf(int32_t device, int32_t apiId = -1) {
  std::vector<halsim::CanFrameRecord> out;
  for (const halsim::CanFrameRecord& f : halsim::GetCanTrace()) {
    if (!f.fromRobot || f.periodMs < 0 || !wire::IsControllerId(f.messageID) ||
        wire::DeviceOf(f.messageID) != device) {
      continue;
    }
    const int32_t api = wire::ApiOf(f.messageID);
    const bool setpointApi = wire::IsSetpointSenderApi(api);
    if (apiId < 0 ? setpointApi : api == apiId) out.push_back(f);
  }
  return out;
}

// A test-name-safe spelling of a number (a bare number would be taken for
// the parameter index): Minus1, Plus63, IntMax, IntMin.
std::string NumberName(int32_t n) {
  if (n == INT_MAX) return "IntMax";
  if (n == INT_MIN) return "IntMin";
  return (n < 0 ? "Minus" : "Plus") + std::to_string(n < 0 ? -n : n);
}

std::string NameOfNumber(const ::testing::TestParamInfo<int32_t>& param) {
  return NumberName(param.param);
}

// Setpoint frames the driver's sender put on the bus, any device.
size_t SenderFrameCount() {
  size_t count = 0;
  for (int32_t d = 0; d <= 63; ++d) count += FramesOf(d).size();
  return count;
}

// ---------------------------------------------------------------------------
// Device numbers -1, 0, 63, 64, INT_MIN, INT_MAX
// ---------------------------------------------------------------------------

class BadDeviceNumber : public ::testing::TestWithParam<int32_t> {
 protected:
  void SetUp() override {
    HALSIM_PauseTiming();
    tavrix_test::StartDriverThreads();
  }
};

TEST_P(BadDeviceNumber, TheDriverIgnoresItWhollyAndSilently) {
  const int32_t n = GetParam();
  ZEM_CANTavrixRegisterDevice(n);
  ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(n, 10);
  ZEM_CANTavrixSetDriverSet4(n, 0.5f, 18, 1, 100);
  HALSIM_StepTiming(kOneSecondUs);
  EXPECT_EQ(__atomic_load_n(&ZEM_CANRegisteredDevices, __ATOMIC_ACQUIRE), 0u);
  EXPECT_EQ(SenderFrameCount(), 0u);
  // Registering it cannot clear another device either.
  ZEM_CANTavrixRegisterDevice(kDevice);
  ZEM_CANTavrixUnregisterDevice(n);
  EXPECT_EQ(__atomic_load_n(&ZEM_CANRegisteredDevices, __ATOMIC_ACQUIRE), uint64_t{1} << kDevice);
}

TEST_P(BadDeviceNumber, ADeviceObjectConstructsButIsNeverServed) {
  const int32_t n = GetParam();
  halsim::ResetRecords();
  // No controller answers (there is none at n & 63): the firmware is reported missing.
  CANTavrix motor(n, MotorType::kMotorKind1);
  ASSERT_TRUE(tavrix_test::WaitForStartupThreadToEnd());
  EXPECT_EQ(motor.GetDeviceId(), n);
  const std::vector<std::string> errors = halsim::GetDriverStationErrors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("CAN ID: " + std::to_string(n) + "."), std::string::npos) << errors[0];
  // Its requests went to the 6-bit number the platform makes of it.
  EXPECT_FALSE(FramesOf(n & 0x3F, wire::api::kFirmwareVersion).empty());
  halsim::ClearCanTrace();
  motor.Set(0.5);
  HALSIM_StepTiming(kOneSecondUs);
  EXPECT_EQ(__atomic_load_n(&ZEM_CANRegisteredDevices, __ATOMIC_ACQUIRE), 0u);
  EXPECT_EQ(SenderFrameCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Numbers, BadDeviceNumber,
                         ::testing::Values(-1, 0, 63, 64, INT_MIN, INT_MAX), NameOfNumber);

// ---------------------------------------------------------------------------
// A device on a simulated controller
// ---------------------------------------------------------------------------

class DeviceOnController : public ::testing::Test {
 protected:
  void SetUp() override {
    HALSIM_PauseTiming();
    HALSIM_SetDriverStationEnabled(1);
    tavrix_test::StartDriverThreads();
    controller = std::make_unique<SimController>(kDevice);
    motor = std::make_unique<CANTavrix>(kDevice, MotorType::kMotorKind1);
    ASSERT_TRUE(tavrix_test::WaitForStartupThreadToEnd());
    // The sender notices the new device at its next idle wake; from then on
    // it sends the device's frame every period.
    HALSIM_StepTiming(wire::kSetpointIdleWakeUs);
    halsim::ClearCanTrace();
  }

  // The setpoint frame the sender sends for the device from now on.
  wire::Setpoint NextSetpoint(int32_t* apiId = nullptr) {
    halsim::ClearCanTrace();
    HALSIM_StepTiming(kOnePeriodUs);
    const std::vector<halsim::CanFrameRecord> frames = FramesOf(kDevice);
    if (frames.empty()) {
      ADD_FAILURE() << "no setpoint frame within a period";
      return wire::Setpoint{};
    }
    if (apiId != nullptr) *apiId = wire::ApiOf(frames.back().messageID);
    return wire::DecodeSetpoint(frames.back().data, frames.back().dataSize);
  }

  std::unique_ptr<SimController> controller;
  std::unique_ptr<CANTavrix> motor;
};

// ---------------------------------------------------------------------------
// Setpoints NaN, +-inf, +-1e39
// ---------------------------------------------------------------------------

struct SetpointRow {
  double value;
  int16_t auxWord;            // what the same number gives as a duty-cycle auxiliary value
  bool closedLoopAuxRefused;  // as a closed-loop feed-forward: refused (non-finite) or saturated
};

void PrintTo(const SetpointRow& row, std::ostream* out) { *out << row.value; }

std::string NameOfSetpointRow(const ::testing::TestParamInfo<SetpointRow>& param) {
  static const char* const kNames[] = {"NaN", "PlusInf", "MinusInf", "Plus1e39", "Minus1e39"};
  return kNames[param.index];
}

class NonFiniteSetpoint : public DeviceOnController,
                          public ::testing::WithParamInterface<SetpointRow> {};

TEST_P(NonFiniteSetpoint, DutyCycleGoesOutAsZeroAndTheMotorStaysStill) {
  const SetpointRow row = GetParam();
  motor->Set(row.value);
  const wire::Setpoint sent = NextSetpoint();
  EXPECT_EQ(wire::FloatBits(sent.value), 0u) << "+0.0 on the wire";
  // Get returns what was asked for, unconverted.
  EXPECT_TRUE(std::isnan(row.value) ? std::isnan(motor->Get()) : motor->Get() == row.value);
  HALSIM_StepTiming(20 * kUsPerMs);
  EXPECT_EQ(controller->GetAppliedOutput(), 0.0);

  // As the auxiliary value of a duty-cycle reference.
  EXPECT_EQ(motor->GetPIDController().SetReference(0.0, ControlType::kControlType0, 0, row.value),
            CANError::kSuccess);
  EXPECT_EQ(NextSetpoint().aux, row.auxWord);
}

TEST_P(NonFiniteSetpoint, ClosedLoopIsRefusedAndThePreviousTargetStays) {
  const SetpointRow row = GetParam();
  zem::CANPIDController pid = motor->GetPIDController();
  ASSERT_EQ(pid.SetReference(5.0, ControlType::kControlType3, 1, 0.5), CANError::kSuccess);
  EXPECT_EQ(pid.SetReference(row.value, ControlType::kControlType3, 1, 0.5), CANError::kFailed);
  int32_t apiId = -1;
  wire::Setpoint sent = NextSetpoint(&apiId);
  EXPECT_EQ(apiId, wire::kSetpointApiIds[3]);
  EXPECT_EQ(sent.value, 5.0f) << "not 0.0, which would be a move";
  EXPECT_EQ(sent.aux, 512);

  // As the feed-forward of a good target.
  const CANError withAux = pid.SetReference(2.0, ControlType::kControlType3, 1, row.value);
  sent = NextSetpoint();
  if (row.closedLoopAuxRefused) {
    EXPECT_EQ(withAux, CANError::kFailed);
    EXPECT_EQ(sent.value, 5.0f);
    EXPECT_EQ(sent.aux, 512);
  } else {
    EXPECT_EQ(withAux, CANError::kSuccess);
    EXPECT_EQ(sent.value, 2.0f);
    EXPECT_EQ(sent.aux, row.auxWord);
  }
}

TEST_P(NonFiniteSetpoint, AsAParameterIsSentAsASingleFloat) {
  const SetpointRow row = GetParam();
  EXPECT_EQ(motor->SetParameter(Parameter::kP_0, row.value), ParameterStatus::kOK);
  const std::vector<halsim::CanFrameRecord> writes = FramesOf(kDevice, wire::ParameterApiId(13));
  ASSERT_EQ(writes.size(), 1u);
  const float sent =
      wire::BitsToFloat(wire::DecodeValueFrame(writes[0].data, writes[0].dataSize).word);
  if (std::isnan(row.value)) {
    EXPECT_TRUE(std::isnan(sent));
  } else {
    EXPECT_EQ(sent, row.value > 0 ? std::numeric_limits<float>::infinity()
                                  : -std::numeric_limits<float>::infinity());
  }
}

INSTANTIATE_TEST_SUITE_P(Values, NonFiniteSetpoint,
                         ::testing::Values(SetpointRow{kNaN, 0, true},
                                           SetpointRow{kInf, 32767, true},
                                           SetpointRow{-kInf, -32767, true},
                                           SetpointRow{1e39, 32767, false},
                                           SetpointRow{-1e39, -32767, false}),
                         NameOfSetpointRow);

// ---------------------------------------------------------------------------
// Control types -1 and 7
// ---------------------------------------------------------------------------

class BadControlType : public DeviceOnController, public ::testing::WithParamInterface<int32_t> {};

TEST_P(BadControlType, FailsAndTheStoredSetpointStays) {
  motor->Set(0.25);
  EXPECT_EQ(
      motor->GetPIDController().SetReference(0.75, static_cast<ControlType>(GetParam()), 2, 0.5),
      CANError::kFailed);
  int32_t apiId = -1;
  const wire::Setpoint sent = NextSetpoint(&apiId);
  EXPECT_EQ(apiId, wire::kSetpointApiIds[0]);
  EXPECT_EQ(sent.value, 0.25f);
  EXPECT_EQ(sent.pidSlot, 0);
  EXPECT_EQ(sent.aux, 0);
}

INSTANTIATE_TEST_SUITE_P(Types, BadControlType, ::testing::Values(-1, 7), NameOfNumber);

// ---------------------------------------------------------------------------
// PID slots -1, 4, 257
// ---------------------------------------------------------------------------

struct SlotRow {
  int slot;
  uint8_t slotByte;  // what a reference carries in byte 6
};

void PrintTo(const SlotRow& row, std::ostream* out) { *out << row.slot; }

std::string NameOfSlotRow(const ::testing::TestParamInfo<SlotRow>& param) {
  return NumberName(param.param.slot);
}

class BadSlot : public DeviceOnController, public ::testing::WithParamInterface<SlotRow> {};

TEST_P(BadSlot, SettingsFailUnsentAndGettersAskNothing) {
  zem::CANPIDController pid = motor->GetPIDController();
  EXPECT_EQ(pid.SetP(1.0, GetParam().slot), CANError::kFailed);
  EXPECT_EQ(pid.SetIMaxAccum(1.0, GetParam().slot), CANError::kFailed);
  EXPECT_EQ(pid.GetP(GetParam().slot), 0.0);
  EXPECT_TRUE(halsim::GetCanTrace().empty()) << "no frame, not even a read request";
}

TEST_P(BadSlot, AReferenceCarriesTheLowEightBitsAndDrivesNothing) {
  controller->SetClosedLoopQuantity(1, tavrix::sim::ClosedLoopQuantity::kVelocity);
  // A gain small enough that the velocity never overshoots: the output stays positive.
  controller->SetParameter(13 + 8 * (GetParam().slotByte % 4),
                           {wire::FloatBits(0.001f), wire::type::kFloat32});
  EXPECT_EQ(
      motor->GetPIDController().SetReference(100.0, ControlType::kControlType1, GetParam().slot),
      CANError::kSuccess);
  const wire::Setpoint sent = NextSetpoint();
  EXPECT_EQ(sent.pidSlot, GetParam().slotByte);
  HALSIM_StepTiming(20 * kUsPerMs);
  // A slot the controller does not have gives no output; 257 is slot 1.
  if (GetParam().slotByte > 3) {
    EXPECT_EQ(controller->GetAppliedOutput(), 0.0);
  } else {
    EXPECT_GT(controller->GetAppliedOutput(), 0.0);
  }
}

INSTANTIATE_TEST_SUITE_P(Slots, BadSlot,
                         ::testing::Values(SlotRow{-1, 255}, SlotRow{4, 4}, SlotRow{257, 1}),
                         NameOfSlotRow);

// ---------------------------------------------------------------------------
// Periods -1, 0, 70000, INT_MAX
// ---------------------------------------------------------------------------

struct PeriodRow {
  int32_t periodMs;
  uint64_t nextFrameAfterUs;  // 0: never again
  uint16_t statusPeriodSent;  // the low 16 bits that travel
};

void PrintTo(const PeriodRow& row, std::ostream* out) { *out << row.periodMs; }

std::string NameOfPeriodRow(const ::testing::TestParamInfo<PeriodRow>& param) {
  return NumberName(param.param.periodMs);
}

class BadPeriod : public DeviceOnController, public ::testing::WithParamInterface<PeriodRow> {};

TEST_P(BadPeriod, ControlFramePeriodStopsOrStretchesTheRepetition) {
  motor->Set(0.5);
  NextSetpoint();  // a frame just went out
  motor->SetControlFramePeriodMs(GetParam().periodMs);
  halsim::ClearCanTrace();
  HALSIM_StepTiming(kOneSecondUs);
  EXPECT_TRUE(FramesOf(kDevice).empty()) << "no frame within a second";
  if (GetParam().nextFrameAfterUs != 0) {
    // The long period counts from the last send. The controller's millisecond
    // ticks would only slow the long step down.
    controller->Detach();
    HALSIM_StepTiming(GetParam().nextFrameAfterUs - kOneSecondUs);
    EXPECT_EQ(FramesOf(kDevice).size(), 1u);
  }
}

TEST_P(BadPeriod, StatusFramePeriodSendsItsLow16Bits) {
  EXPECT_EQ(motor->SetPeriodicFramePeriod(zem::CANTavrixLowLevel::PeriodicFrame::kStatus0,
                                          GetParam().periodMs),
            CANError::kSuccess);
  const std::vector<halsim::CanFrameRecord> sent = FramesOf(kDevice, wire::api::kStatus0);
  ASSERT_EQ(sent.size(), 1u);
  ASSERT_EQ(sent[0].dataSize, 2);
  EXPECT_EQ(wire::GetU16(sent[0].data), GetParam().statusPeriodSent);
  // A status frame that is there is read at once, whatever the period.
  const wire::Payload status0 = wire::EncodeStatus0(0.5, 0, 0, false);
  HALSIM_DeliverCanMessage(wire::ComposeId(kDevice, wire::api::kStatus0), status0.data(), 8);
  EXPECT_NEAR(motor->GetAppliedOutput(), 0.5, 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Periods, BadPeriod,
                         ::testing::Values(PeriodRow{-1, 0, 0xFFFF}, PeriodRow{0, 0, 0},
                                           PeriodRow{70000, 70000 * kUsPerMs, 70000 & 0xFFFF},
                                           PeriodRow{INT_MAX, 0, 0xFFFF}),
                         NameOfPeriodRow);

// ---------------------------------------------------------------------------
// Replies of 0 to 7 bytes, no reply, late replies, a corrupted echo
// ---------------------------------------------------------------------------

class ShortReply : public DeviceOnController, public ::testing::WithParamInterface<int> {
 protected:
  void CutReplies() {
    BusFaults faults;
    faults.replyLength = GetParam();
    controller->SetBusFaults(faults);
  }
};

TEST_P(ShortReply, ParameterReadNeedsAWholeValueWord) {
  controller->SetParameter(13, {wire::FloatBits(0.75f), wire::type::kFloat32});
  CutReplies();
  double gain = -1.0;
  const ParameterStatus status = motor->GetParameter(Parameter::kP_0, gain);
  if (GetParam() >= 4) {
    EXPECT_EQ(status, ParameterStatus::kOK);
    EXPECT_EQ(gain, 0.75);
  } else {
    EXPECT_EQ(status, ParameterStatus::kTimeout);
    EXPECT_EQ(gain, -1.0) << "left unchanged";
  }
  EXPECT_EQ(motor->GetPIDController().GetP(), GetParam() >= 4 ? 0.75 : 0.0);
}

TEST_P(ShortReply, FollowerEchoShorterThanEightBytesFails) {
  CutReplies();
  EXPECT_EQ(motor->Follow(CANTavrix::kFollowerTavrix, 3), CANError::kFailed);
}

TEST_P(ShortReply, FirmwareReplyReadsMissingBytesAsZeros) {
  controller->SetFirmware(wire::FirmwareVersion(1, 5, 300), true);
  CutReplies();
  bool debug = false;
  const uint32_t version = motor->GetFirmwareVersion(debug);
  const auto reply = wire::EncodeFirmware(wire::FirmwareVersion(1, 5, 300), true);
  const int kept = std::min(GetParam(), static_cast<int>(reply.size()));
  const wire::Payload cut = wire::PadPayload(reply.data(), kept);
  EXPECT_EQ(version, wire::DecodeFirmware(cut.data(), 8).version);
  EXPECT_EQ(debug, GetParam() >= 5);
}

std::string NameOfLength(const ::testing::TestParamInfo<int>& param) {
  return std::to_string(param.param) + "Bytes";
}

INSTANTIATE_TEST_SUITE_P(Lengths, ShortReply, ::testing::Range(0, 8), NameOfLength);

TEST_F(DeviceOnController, NoReplyTimesOutWithTheFallbacks) {
  BusFaults faults;
  faults.silent = true;
  controller->SetBusFaults(faults);
  double gain = -1.0;
  EXPECT_EQ(motor->GetParameter(Parameter::kP_0, gain), ParameterStatus::kTimeout);
  EXPECT_EQ(gain, -1.0);
  EXPECT_EQ(motor->GetIdleMode(), CANTavrix::IdleMode::kIdleMode1);
  EXPECT_EQ(motor->GetMotorType(), MotorType::kMotorKind1);
  EXPECT_EQ(motor->Follow(CANTavrix::kFollowerTavrix, 3), CANError::kNoReply);
  EXPECT_EQ(motor->GetFirmwareVersion(), 0u);
  EXPECT_EQ(motor->GetFirmwareString(), "v1.5.0") << "the last good read is kept";
}

// Every look for a reply steps the clock 1 ms, so that simulated time passes
// while the device waits, as real time does on a bus.
class SteppingLooks {
 public:
  explicit SteppingLooks(uint32_t messageID) {
    halsim::SetCanReadHook([messageID](const halsim::CanReadRecord& read) {
      if (read.messageID == messageID) HALSIM_StepTiming(1000);
    });
  }
  ~SteppingLooks() { halsim::SetCanReadHook({}); }
  SteppingLooks(const SteppingLooks&) = delete;
  SteppingLooks& operator=(const SteppingLooks&) = delete;
};

// A late reply never answers a later request: each read gives the value the
// controller held when it was asked, or kTimeout.
TEST_F(DeviceOnController, LateRepliesCountOnlyForTheirOwnRequest) {
  struct Read {
    uint64_t replyDelayUs;
    float held;
    ParameterStatus status;
    double value;
    uint64_t thenStepUs;  // lets a reply later than the wait arrive
  };
  const struct {
    const char* name;
    std::vector<Read> reads;
  } cases[] = {
      {"2 ms late, the value changing",
       {{2000, 1.0f, ParameterStatus::kOK, 1.0, 0},
        {2000, 0.0f, ParameterStatus::kOK, 0.0, 0},
        {2000, 1.0f, ParameterStatus::kOK, 1.0, 0}}},
      {"after the timeout",
       {{300'000, 1.0f, ParameterStatus::kTimeout, -1.0, 300'000},
        {0, 0.0f, ParameterStatus::kOK, 0.0, 0}}},
  };
  motor->SetCANTimeout(20);
  const SteppingLooks looks(wire::ComposeId(kDevice, wire::ParameterApiId(13)));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const Read& read : c.reads) {
      BusFaults faults;
      faults.replyDelayUs = read.replyDelayUs;
      controller->SetBusFaults(faults);
      controller->SetParameter(13, {wire::FloatBits(read.held), wire::type::kFloat32});
      double gain = -1.0;
      EXPECT_EQ(motor->GetParameter(Parameter::kP_0, gain), read.status);
      EXPECT_EQ(gain, read.value);
      HALSIM_StepTiming(read.thenStepUs);
    }
  }
}

TEST_F(DeviceOnController, CorruptedFollowerEchoFails) {
  BusFaults faults;
  faults.corruptFollowerEcho = true;
  controller->SetBusFaults(faults);
  EXPECT_EQ(motor->Follow(CANTavrix::kFollowerTavrix, 3), CANError::kFailed);
  faults.corruptFollowerEcho = false;
  controller->SetBusFaults(faults);
  EXPECT_EQ(motor->Follow(CANTavrix::kFollowerTavrix, 3), CANError::kSuccess);
}

}  // namespace
