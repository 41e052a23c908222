// Periodic status frames of the low-level device: decoding of the three frames
// with and without inversion, what a missing or short frame decodes to, the
// period and timeout each read passes, the period command, and GetSafeFloat.
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <hal/simulation/CanData.h>
#include <hal/simulation/MockHooks.h>

#include "lowlevel_fixture.h"
#include "tavrix/Wire.h"

namespace lowlevel_test {
namespace {

namespace wire = zem::wire;
using Frame = zem::CANTavrixLowLevel::PeriodicFrame;
constexpr int kDevice = 21;
constexpr double kInf = std::numeric_limits<double>::infinity();

// Stepped past the longest default period first: a status read keeps a frame
// younger than its period instead of receiving a newer one.
void Deliver(int32_t api, const Bytes& payload) {
  HALSIM_StepTiming(50'000);
  HALSIM_DeliverCanMessage(wire::ComposeId(kDevice, api), payload.data(),
                           static_cast<uint8_t>(payload.size()));
}

class StatusTest : public LowLevelTest {
 protected:
  void SetUp() override {
    LowLevelTest::SetUp();
    controller.AnswerFirmware(wire::FirmwareVersion(1, 5, 0), false);
    device = std::make_unique<TestDevice>(kDevice);
    halsim::ClearCanReads();
  }
  void TearDown() override {
    device.reset();
    LowLevelTest::TearDown();
  }

  // The period and timeout of the last read of a status frame.
  std::pair<int32_t, int32_t> LastRead(int32_t api) {
    const auto reads = ReadsOf(kDevice, api);
    EXPECT_FALSE(reads.empty());
    if (reads.empty()) return {0, 0};
    EXPECT_EQ(reads.back().kind, halsim::CanReadKind::kPeriodic);
    return {reads.back().periodMs, reads.back().timeoutMs};
  }

  ScriptedController controller{kDevice};
  std::unique_ptr<TestDevice> device;
};

struct Status0Case {
  Bytes payload;
  bool inverted;
  double appliedOutput;
  uint16_t faults, stickyFaults;
  uint8_t bits2To3;
  uint32_t bit4;
  bool isFollower;
};

TEST_F(StatusTest, Status0Decoding) {
  const double half = 16384.0 / 32767.0;
  const std::vector<Status0Case> cases = {
      {{0x00, 0x40, 0x01, 0x40, 0x00, 0x80, 0x34, 0x00}, false, half, 0x4001, 0x8000, 1, 1, true},
      {{0x00, 0x40, 0x01, 0x40, 0x00, 0x80, 0x34, 0x00}, true, -half, 0x4001, 0x8000, 1, 1, true},
      {{0xFF, 0x7F, 0, 0, 0, 0, 0, 0}, false, 1.0, 0, 0, 0, 0, false},
      {{0x00, 0x80, 0, 0, 0, 0, 0, 0}, false, -32768.0 / 32767.0, 0, 0, 0, 0, false},
      {{0x00, 0x80, 0, 0, 0, 0, 0, 0}, true, 32768.0 / 32767.0, 0, 0, 0, 0, false},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
       false,
       -1.0 / 32767.0,
       0xFFFF,
       0xFFFF,
       3,
       1,
       true},
      // Bits 0-1 and 6-7 of byte 6 are not decoded.
      {{0, 0, 0, 0, 0, 0, 0xC3, 0xFF}, false, 0.0, 0, 0, 0, 0, false},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    const auto& c = cases[i];
    device->SetInverted(c.inverted);
    Deliver(96, c.payload);
    const auto s = device->GetPeriodicStatus0();
    EXPECT_DOUBLE_EQ(s.appliedOutput, c.appliedOutput);
    EXPECT_EQ(s.faults, c.faults);
    EXPECT_EQ(s.stickyFaults, c.stickyFaults);
    EXPECT_EQ(s.byte6Bits2To3, c.bits2To3);
    EXPECT_EQ(s.byte6Bit4, c.bit4);
    EXPECT_EQ(s.isFollower, c.isFollower);
  }
}

struct Status1Case {
  Bytes payload;
  bool inverted;
  double velocity;
  uint8_t temperature;
  double busVoltage, outputCurrent;
};

TEST_F(StatusTest, Status1Decoding) {
  const std::vector<Status1Case> cases = {
      {{0x00, 0x00, 0x80, 0x3F, 0x28, 0x80, 0x0C, 0x18}, false, 1.0, 40, 25.0, 12.0},
      // Inversion flips only the velocity.
      {{0x00, 0x00, 0x80, 0x3F, 0x28, 0x80, 0x0C, 0x18}, true, -1.0, 40, 25.0, 12.0},
      {{0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, false, 0.0, 255, 31.9921875, 127.96875},
      {{0, 0, 0x80, 0x7F, 0, 0x01, 0x10, 0}, true, -kInf, 0, 1.0 / 128, 1.0 / 32},
      {{0xFF, 0xFF, 0x7F, 0x7F, 0, 0, 0, 0},
       false,
       static_cast<double>(std::numeric_limits<float>::max()),
       0,
       0.0,
       0.0},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    const auto& c = cases[i];
    device->SetInverted(c.inverted);
    Deliver(97, c.payload);
    const auto s = device->GetPeriodicStatus1();
    EXPECT_EQ(s.velocity, c.velocity);
    EXPECT_EQ(s.motorTemperature, c.temperature);
    EXPECT_EQ(s.busVoltage, c.busVoltage);
    EXPECT_EQ(s.outputCurrent, c.outputCurrent);
  }
}

TEST_F(StatusTest, Status2DecodingFollowsInversionAtReadTime) {
  const Bytes payload = {0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x20, 0xC0};
  Deliver(98, payload);
  auto s = device->GetPeriodicStatus2();
  EXPECT_EQ(s.position, 1.0);
  EXPECT_EQ(s.iAccum, -2.5);

  device->SetInverted(true);
  Deliver(98, payload);
  s = device->GetPeriodicStatus2();
  EXPECT_EQ(s.position, -1.0);
  EXPECT_EQ(s.iAccum, 2.5);

  // A NaN field stays NaN either way.
  Deliver(98, {0, 0, 0xC0, 0x7F, 0, 0, 0, 0});
  s = device->GetPeriodicStatus2();
  EXPECT_TRUE(std::isnan(s.position));
  EXPECT_EQ(s.iAccum, 0.0);
}

TEST_F(StatusTest, MissingFrameDecodesZerosAndReadsPassPeriodAndTimeout) {
  const auto s0 = device->GetPeriodicStatus0();
  const auto s1 = device->GetPeriodicStatus1();
  const auto s2 = device->GetPeriodicStatus2();
  EXPECT_EQ(s0.appliedOutput, 0.0);
  EXPECT_EQ(s0.faults, 0);
  EXPECT_EQ(s0.stickyFaults, 0);
  EXPECT_EQ(s0.byte6Bits2To3, 0);
  EXPECT_EQ(s0.byte6Bit4, 0u);
  EXPECT_FALSE(s0.isFollower);
  EXPECT_EQ(s1.velocity, 0.0);
  EXPECT_EQ(s1.motorTemperature, 0);
  EXPECT_EQ(s1.busVoltage, 0.0);
  EXPECT_EQ(s1.outputCurrent, 0.0);
  EXPECT_EQ(s2.position, 0.0);
  EXPECT_EQ(s2.iAccum, 0.0);

  EXPECT_EQ(LastRead(96), std::make_pair(10, 40));
  EXPECT_EQ(LastRead(97), std::make_pair(20, 60));
  EXPECT_EQ(LastRead(98), std::make_pair(50, 120));
}

TEST_F(StatusTest, ShortFrameReadsMissingBytesAsZero) {
  Deliver(97, {0x00, 0x00, 0x80, 0x3F, 0x28});
  const auto s1 = device->GetPeriodicStatus1();
  EXPECT_EQ(s1.velocity, 1.0);
  EXPECT_EQ(s1.motorTemperature, 40);
  EXPECT_EQ(s1.busVoltage, 0.0);
  EXPECT_EQ(s1.outputCurrent, 0.0);

  Deliver(96, {0xFF, 0x7F, 0x01});
  const auto s0 = device->GetPeriodicStatus0();
  EXPECT_EQ(s0.appliedOutput, 1.0);
  EXPECT_EQ(s0.faults, 1);
  EXPECT_FALSE(s0.isFollower);
}

struct PeriodCase {
  Frame frame;
  int periodMs;
  int32_t api;
  Bytes payload;
  int32_t expectedTimeout;  // with the CAN timeout of 20 ms
};

TEST_F(StatusTest, PeriodCommandStoresFullPeriodAndSendsLow16Bits) {
  const int32_t kMax = std::numeric_limits<int32_t>::max();
  const std::vector<PeriodCase> cases = {
      {Frame::kStatus1, 5, 97, {0x05, 0x00}, 30},
      {Frame::kStatus0, 70000, 96, {0x70, 0x11}, 140020},
      {Frame::kStatus2, kMax, 98, {0xFF, 0xFF}, kMax},
      {Frame::kStatus2, kMax / 2 - 10, 98, {0xF5, 0xFF}, kMax - 1},
      {Frame::kStatus2, kMax / 2 - 9, 98, {0xF6, 0xFF}, kMax},
      {Frame::kStatus0, -100, 96, {0x9C, 0xFF}, -180},
      {Frame::kStatus1, 0, 97, {0x00, 0x00}, 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.periodMs);
    const size_t mark = TraceSize();
    EXPECT_EQ(device->SetPeriodicFramePeriod(c.frame, c.periodMs), zem::CANError::kSuccess);
    const auto sent = SentTo(kDevice, mark);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].api, c.api);
    EXPECT_EQ(sent[0].bytes, c.payload);
    EXPECT_EQ(device->StatusPeriod(static_cast<int>(c.frame)), c.periodMs);

    // A fresh frame is there, so even the longest timeout returns at once.
    Deliver(c.api, Bytes(8, 0));
    if (c.frame == Frame::kStatus0) device->GetPeriodicStatus0();
    if (c.frame == Frame::kStatus1) device->GetPeriodicStatus1();
    if (c.frame == Frame::kStatus2) device->GetPeriodicStatus2();
    EXPECT_EQ(LastRead(c.api), std::make_pair(c.periodMs, c.expectedTimeout));
  }
}

TEST_F(StatusTest, StatusTimeoutSaturatesWithALargeCanTimeout) {
  device->SetCanTimeout(std::numeric_limits<int32_t>::max() - 5);
  Deliver(96, Bytes(8, 0));
  device->GetPeriodicStatus0();
  EXPECT_EQ(LastRead(96).second, std::numeric_limits<int32_t>::max());

  // A negative CAN timeout is part of the sum as it is: -50 + 2 x 20.
  device->SetCanTimeout(-50);
  Deliver(97, Bytes(8, 0));
  device->GetPeriodicStatus1();
  EXPECT_EQ(LastRead(97).second, -10);

  // Below the 32-bit range the sum saturates at its lower end.
  device->SetCanTimeout(std::numeric_limits<int32_t>::min());
  Deliver(98, Bytes(8, 0));
  EXPECT_EQ(device->SetPeriodicFramePeriod(Frame::kStatus2, -1), zem::CANError::kSuccess);
  device->GetPeriodicStatus2();
  EXPECT_EQ(LastRead(98).second, std::numeric_limits<int32_t>::min());
}

TEST_F(StatusTest, UnknownPeriodicFrameFailsWithoutStateChangeOrFrame) {
  for (int value : {3, -1, 1000}) {
    const size_t mark = TraceSize();
    EXPECT_EQ(device->SetPeriodicFramePeriod(static_cast<Frame>(value), 5), zem::CANError::kFailed);
    EXPECT_TRUE(SentTo(kDevice, mark).empty());
  }
  EXPECT_EQ(device->StatusPeriod(0), 10);
  EXPECT_EQ(device->StatusPeriod(1), 20);
  EXPECT_EQ(device->StatusPeriod(2), 50);
}

TEST_F(StatusTest, SafeFloatReplacesOnlyNonFiniteValues) {
  const float inf = std::numeric_limits<float>::infinity();
  for (float bad : {inf, -inf, std::numeric_limits<float>::quiet_NaN()}) {
    const float safe = device->GetSafeFloat(bad);
    EXPECT_EQ(safe, 0.0f);
    EXPECT_FALSE(std::signbit(safe));
  }
  EXPECT_TRUE(std::signbit(device->GetSafeFloat(-0.0f)));
  for (float kept : {std::numeric_limits<float>::max(), std::numeric_limits<float>::lowest(),
                     std::numeric_limits<float>::denorm_min(), 1.5f}) {
    EXPECT_EQ(device->GetSafeFloat(kept), kept);
  }
}

}  // namespace
}  // namespace lowlevel_test
