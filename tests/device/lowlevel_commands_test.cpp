// Setpoint and state commands of the low-level device, observed on the bus:
// the setpoint thread's frames for every case of SetpointCommand that can go
// wrong, the control-frame period, the encoder-position and accumulator
// frames, and the follower command's echo check.
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <hal/simulation/MockHooks.h>

#include "lowlevel_fixture.h"
#include "tavrix/Wire.h"

namespace lowlevel_test {
namespace {

namespace wire = zem::wire;
using zem::CANError;
using zem::ControlType;
constexpr int kDevice = 8;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class CommandsTest : public LowLevelTest {
 protected:
  void SetUp() override {
    LowLevelTest::SetUp();
    controller.AnswerFirmware(wire::FirmwareVersion(1, 5, 0), false);
    device = std::make_unique<TestDevice>(kDevice);
    ASSERT_TRUE(AwaitSetpointThread(kDevice));
  }
  void TearDown() override {
    device.reset();
    LowLevelTest::TearDown();
  }

  // Lets one control-frame period pass and returns the frame the driver sent.
  Sent NextSetpointFrame() {
    const size_t mark = TraceSize();
    HALSIM_StepTiming(10000);
    const auto frames = SetpointsTo(kDevice, mark);
    EXPECT_EQ(frames.size(), 1u);
    return frames.empty() ? Sent{} : frames.back();
  }

  ScriptedController controller{kDevice};
  std::unique_ptr<TestDevice> device;
};

struct SetpointCase {
  std::string name;
  double value;
  int32_t controlType;
  int pidSlot;
  double auxValue;
  bool inverted;
  int32_t api;
  uint32_t valueBits;
  int16_t aux;
  uint8_t slot;
};

uint32_t Bits(float value) { return wire::FloatBits(value); }

TEST_F(CommandsTest, SetpointReachesTheBusWithApiIdValueAuxAndSlot) {
  const float fmax = std::numeric_limits<float>::max();
  const std::vector<SetpointCase> cases = {
      {"type 0", 0.5, 0, 0, 0.0, false, 2, Bits(0.5f), 0, 0},
      {"type 1", 1.0, 1, 0, 0.0, false, 18, Bits(1.0f), 0, 0},
      {"type 2", 2.0, 2, 0, 0.0, false, 66, Bits(2.0f), 0, 0},
      {"type 3", 3.0, 3, 0, 0.0, false, 50, Bits(3.0f), 0, 0},
      {"type 4", 4.0, 4, 0, 0.0, false, 82, Bits(4.0f), 0, 0},
      {"type 5", 5.0, 5, 0, 0.0, false, 67, Bits(5.0f), 0, 0},
      {"type 6", 6.0, 6, 0, 0.0, false, 19, Bits(6.0f), 0, 0},
      {"aux 0.5", 0.0, 0, 0, 0.5, false, 2, 0, 512, 0},
      {"aux 0.001", 0.0, 0, 0, 0.001, false, 2, 0, 1, 0},
      {"aux 0.0009", 0.0, 0, 0, 0.0009, false, 2, 0, 0, 0},
      {"aux -0.7", 0.0, 0, 0, -0.7, false, 2, 0, -716, 0},
      {"aux 40", 0.0, 0, 0, 40.0, false, 2, 0, 32767, 0},
      {"aux -40", 0.0, 0, 0, -40.0, false, 2, 0, -32767, 0},
      {"aux NaN", 0.0, 0, 0, kNaN, false, 2, 0, 0, 0},
      {"aux -inf", 0.0, 0, 0, -kInf, false, 2, 0, -32767, 0},
      {"aux 1e300", 0.0, 0, 0, 1e300, false, 2, 0, 32767, 0},
      {"inverted", 0.25, 0, 0, 0.5, true, 2, Bits(-0.25f), -512, 0},
      {"inverted aux at the limits", 0.0, 3, 0, -40.0, true, 50, Bits(-0.0f), 32767, 0},
      {"value inf", kInf, 0, 0, 0.0, false, 2, 0, 0, 0},
      {"value -inf", -kInf, 0, 0, 0.0, false, 2, 0, 0, 0},
      {"value NaN", kNaN, 0, 0, 0.0, false, 2, 0, 0, 0},
      {"value 1e39", 1e39, 0, 0, 0.0, false, 2, 0, 0, 0},
      {"value -1e39 inverted", -1e39, 0, 0, 0.0, true, 2, 0, 0, 0},
      {"value largest float", static_cast<double>(fmax), 2, 0, 0.0, false, 66, Bits(fmax), 0, 0},
      {"value below float resolution", 1e-50, 0, 0, 0.0, false, 2, 0, 0, 0},
      {"slot 257", 1.0, 1, 257, 0.0, false, 18, Bits(1.0f), 0, 1},
      {"slot -1", 1.0, 1, -1, 0.0, false, 18, Bits(1.0f), 0, 255},
      {"slot 3 with everything", -0.75, 6, 3, 0.25, false, 19, Bits(-0.75f), 256, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    device->SetInverted(c.inverted);
    EXPECT_EQ(device->SetpointCommand(c.value, static_cast<ControlType>(c.controlType), c.pidSlot,
                                      c.auxValue),
              CANError::kSuccess);
    const Sent frame = NextSetpointFrame();
    EXPECT_EQ(frame.api, c.api);
    const auto decoded =
        wire::DecodeSetpoint(frame.bytes.data(), static_cast<int>(frame.bytes.size()));
    EXPECT_EQ(wire::FloatBits(decoded.value), c.valueBits);
    EXPECT_EQ(decoded.aux, c.aux);
    EXPECT_EQ(decoded.pidSlot, c.slot);
    ASSERT_EQ(frame.bytes.size(), 8u);
    EXPECT_EQ(frame.bytes[7], 0);
  }
}

TEST_F(CommandsTest, RefusedSetpointsKeepTheStoredOne) {
  ASSERT_EQ(device->SetpointCommand(0.25, ControlType::kControlType1, 2, 0.5), CANError::kSuccess);
  const Sent before = NextSetpointFrame();
  for (int32_t type :
       {7, -1, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()}) {
    EXPECT_EQ(device->SetpointCommand(0.9, static_cast<ControlType>(type), 1, 0.1),
              CANError::kFailed)
        << type;
  }
  // Closed-loop types: a target or feed-forward that cannot be sent as it is
  // (0.0 would be a move to another target), inverted or not.
  for (int32_t type = 1; type <= 6; ++type) {
    for (bool inverted : {false, true}) {
      device->SetInverted(inverted);
      for (double bad : {kNaN, kInf, -kInf, 1e39, -1e39}) {
        EXPECT_EQ(device->SetpointCommand(bad, static_cast<ControlType>(type), 1, 0.1),
                  CANError::kFailed)
            << type << " value " << bad;
        if (std::abs(bad) == 1e39) continue;  // a finite feed-forward saturates
        EXPECT_EQ(device->SetpointCommand(0.9, static_cast<ControlType>(type), 1, bad),
                  CANError::kFailed)
            << type << " feed-forward " << bad;
      }
    }
  }
  device->SetInverted(false);
  const Sent after = NextSetpointFrame();
  EXPECT_EQ(after.api, 18);
  EXPECT_EQ(after.bytes, before.bytes);
}

TEST_F(CommandsTest, DeviceNumbersTheDriverIgnoresGetNoSetpointFrames) {
  TestDevice low(0);
  TestDevice high(63);
  const size_t mark = TraceSize();
  EXPECT_EQ(low.SetpointCommand(0.5, ControlType::kControlType0, 0, 0.0), CANError::kSuccess);
  EXPECT_EQ(high.SetpointCommand(0.5, ControlType::kControlType0, 0, 0.0), CANError::kSuccess);
  for (int i = 0; i < 12; ++i) HALSIM_StepTiming(10000);
  EXPECT_TRUE(SetpointsTo(0, mark).empty());
  EXPECT_TRUE(SetpointsTo(63, mark).empty());
  EXPECT_FALSE(SetpointsTo(kDevice, mark).empty());
}

TEST_F(CommandsTest, ControlFramePeriodSetsTheRepetition) {
  device->SetpointCommand(0.5, ControlType::kControlType0, 0, 0.0);
  NextSetpointFrame();
  device->SetControlFramePeriodMs(20);
  // The pending 10 ms due time was already passed; from the next send on
  // the frames are 20 ms apart.
  HALSIM_StepTiming(10000);
  const size_t mark = TraceSize();
  for (int i = 0; i < 8; ++i) HALSIM_StepTiming(10000);
  const auto frames = SetpointsTo(kDevice, mark);
  ASSERT_EQ(frames.size(), 4u);
  for (size_t i = 1; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].timestampUs - frames[i - 1].timestampUs, 20000u);
  }

  device->SetControlFramePeriodMs(0);
  HALSIM_StepTiming(30000);
  const size_t stopped = TraceSize();
  HALSIM_StepTiming(100000);
  EXPECT_TRUE(SetpointsTo(kDevice, stopped).empty());
}

struct ValueCommandCase {
  std::string name;
  bool accumulator;  // SetIAccum, else SetEncPosition
  double value;
  bool inverted;
  Bytes payload;
};

TEST_F(CommandsTest, EncoderPositionAndAccumulatorFrames) {
  const std::vector<ValueCommandCase> cases = {
      {"position inverted", false, 1.5, true, {0x00, 0x00, 0xC0, 0xBF, 0x02}},
      {"accumulator", true, 2.0, false, {0x00, 0x00, 0x00, 0x40, 0x02}},
      {"position", false, -2.5, false, {0x00, 0x00, 0x20, 0xC0, 0x02}},
      {"accumulator inverted", true, -2.5, true, {0x00, 0x00, 0x20, 0x40, 0x02}},
      {"position NaN", false, kNaN, false, {0x00, 0x00, 0xC0, 0x7F, 0x02}},
      {"position beyond float range", false, 1e300, false, {0x00, 0x00, 0x80, 0x7F, 0x02}},
      {"accumulator beyond float range inverted",
       true,
       1e300,
       true,
       {0x00, 0x00, 0x80, 0xFF, 0x02}},
      {"accumulator infinity", true, -kInf, false, {0x00, 0x00, 0x80, 0xFF, 0x02}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    device->SetInverted(c.inverted);
    const size_t mark = TraceSize();
    const CANError result =
        c.accumulator ? device->SetIAccum(c.value) : device->SetEncPosition(c.value);
    EXPECT_EQ(result, CANError::kSuccess);
    const auto sent = SentTo(kDevice, mark);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].api, c.accumulator ? 162 : 160);
    EXPECT_EQ(sent[0].bytes, c.payload);
  }
  EXPECT_TRUE(ReadsOf(kDevice, 160).empty());
  EXPECT_TRUE(ReadsOf(kDevice, 162).empty());
}

struct FollowCase {
  std::string name;
  std::function<std::optional<Bytes>(const Bytes&)> reply;
  CANError expected;
};

TEST_F(CommandsTest, FollowerCommandComparesTheEcho) {
  const TestDevice::FollowConfig config{wire::kStatus0LeaderFrameId | 5u,
                                        wire::FollowConfigWord(wire::kLeaderKindController, true)};
  const Bytes expectedFrame = {0x05, 0x18, 0x05, 0x02, 0x00, 0x00, 0x04, 0x1A};
  const std::vector<FollowCase> cases = {
      {"echo", [](const Bytes& sent) { return sent; }, CANError::kSuccess},
      {"one byte differs",
       [](const Bytes& sent) {
         Bytes b = sent;
         b[6] ^= 0x04;
         return std::optional<Bytes>(b);
       },
       CANError::kFailed},
      {"seven bytes",
       [](const Bytes& sent) { return std::optional<Bytes>(Bytes(sent.begin(), sent.end() - 1)); },
       CANError::kFailed},
      {"empty", [](const Bytes&) { return std::optional<Bytes>(Bytes{}); }, CANError::kFailed},
      {"none", [](const Bytes&) { return std::optional<Bytes>(); }, CANError::kNoReply},
  };
  device->SetCanTimeout(33);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    controller.SetReplier(wire::api::kFollower, c.reply);
    halsim::ClearCanReads();
    const size_t mark = TraceSize();
    const bool answered = c.expected != CANError::kNoReply;
    const int64_t ms = WallMsOf([&] { EXPECT_EQ(device->SetFollow(config), c.expected); });
    if (!answered) {
      EXPECT_GE(ms, 33);  // waited the CAN timeout
    }
    const auto sent = SentTo(kDevice, wire::api::kFollower, mark);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, expectedFrame);
    ExpectReplyReads(ReadsOf(kDevice, wire::api::kFollower), answered);
  }
}

}  // namespace
}  // namespace lowlevel_test
