// Configuration parameters of the low-level device: the exact write frames of
// every typed write, reads of every type, the timeout and short-reply paths,
// the type table and the factory-defaults command.
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <hal/simulation/CanData.h>

#include "lowlevel_fixture.h"
#include "tavrix/Wire.h"
#include "wall_clock.h"

namespace lowlevel_test {
namespace {

namespace wire = zem::wire;
constexpr int kDevice = 12;

class ParametersTest : public LowLevelTest {
 protected:
  void SetUp() override {
    LowLevelTest::SetUp();
    controller.AnswerFirmware(wire::FirmwareVersion(1, 5, 0), false);
    device = std::make_unique<TestDevice>(kDevice);
  }
  void TearDown() override {
    device.reset();
    LowLevelTest::TearDown();
  }

  // The one frame a write produced, as (API id, bytes).
  Sent OnlyFrameSince(size_t mark) {
    const auto sent = SentTo(kDevice, mark);
    EXPECT_EQ(sent.size(), 1u);
    return sent.empty() ? Sent{} : sent[0];
  }

  ScriptedController controller{kDevice};
  std::unique_ptr<TestDevice> device;
};

struct WriteCase {
  std::string name;
  std::function<PStatus(TestDevice&)> write;
  int32_t api;
  Bytes payload;
};

TEST_F(ParametersTest, TypedWritesSendFiveBytesOnTheParameterId) {
  const std::vector<WriteCase> cases = {
      {"uint idle mode",
       [](TestDevice& d) { return d.SetParameter(Param::kIdleMode, 1u); },
       0x306,
       {1, 0, 0, 0, 1}},
      {"float P",
       [](TestDevice& d) { return d.SetParameter(Param::kP_0, 0.5); },
       0x30D,
       {0, 0, 0, 0x3F, 2}},
      {"bool limit enable",
       [](TestDevice& d) { return d.SetParameter(Param::kForwardLimitSwitchEnabled, true); },
       0x334,
       {1, 0, 0, 0, 3}},
      {"bool false",
       [](TestDevice& d) { return d.SetParameter(Param::kReverseLimitSwitchEnabled, false); },
       0x335,
       {0, 0, 0, 0, 3}},
      {"int -1",
       [](TestDevice& d) { return d.SetParameter(Param::kVoltageCompensationMode, -1); },
       0x34A,
       {0xFF, 0xFF, 0xFF, 0xFF, 0}},
      {"int min",
       [](TestDevice& d) {
         return d.SetParameter(Param::kSmartCurrentLimit, std::numeric_limits<int>::min());
       },
       0x33B,
       {0, 0, 0, 0x80, 0}},
      {"uint max",
       [](TestDevice& d) { return d.SetParameter(Param::kSmartCurrentLimitArg3, 0xFFFFFFFFu); },
       0x33D,
       {0xFF, 0xFF, 0xFF, 0xFF, 1}},
      {"double beyond float range",
       [](TestDevice& d) { return d.SetParameter(Param::kPositionConversionFactor, 1e300); },
       0x370,
       {0, 0, 0x80, 0x7F, 2}},
      {"double below float range",
       [](TestDevice& d) { return d.SetParameter(Param::kClosedLoopRampRate, -1e300); },
       0x372,
       {0, 0, 0x80, 0xFF, 2}},
      {"double rounds to nearest float",
       [](TestDevice& d) { return d.SetParameter(Param::kIMaxAccum_3, 0.1); },
       0x36C,
       {0xCD, 0xCC, 0xCC, 0x3D, 2}},
      {"double NaN stays NaN",
       [](TestDevice& d) {
         return d.SetParameter(Param::kI_2, std::numeric_limits<double>::quiet_NaN());
       },
       0x31E,
       {0, 0, 0xC0, 0x7F, 2}},
      {"core keeps value and low type byte",
       [](TestDevice& d) {
         return d.SetParameterCore(Param::kMotorType, static_cast<PType>(0x1FF), 0x12345678u);
       },
       0x302,
       {0x78, 0x56, 0x34, 0x12, 0xFF}},
      {"core as the motor-type write",
       [](TestDevice& d) { return d.SetParameterCore(Param::kMotorType, PType::kUint32, 1u); },
       0x302,
       {1, 0, 0, 0, 1}},
      {"id outside the table is sent unchanged",
       [](TestDevice& d) { return d.SetParameter(static_cast<Param>(255), 7u); },
       0x3FF,
       {7, 0, 0, 0, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t mark = TraceSize();
    EXPECT_EQ(c.write(*device), PStatus::kOK);
    const Sent frame = OnlyFrameSince(mark);
    EXPECT_EQ(frame.api, c.api);
    EXPECT_EQ(frame.bytes, c.payload);
  }
}

TEST_F(ParametersTest, ReadsDeliverTheReplyWordByType) {
  const int32_t api = 0x30D;  // kP_0
  controller.Answer(api, {0, 0, 0xC0, 0x3F, 2});
  double d = 0.0;
  EXPECT_EQ(device->GetParameter(Param::kP_0, d), PStatus::kOK);
  EXPECT_EQ(d, 1.5);

  controller.Answer(api, {0xFE, 0xFF, 0xFF, 0xFF});
  int i = 0;
  EXPECT_EQ(device->GetParameter(Param::kP_0, i), PStatus::kOK);
  EXPECT_EQ(i, -2);
  uint32_t u = 0;
  EXPECT_EQ(device->GetParameter(Param::kP_0, u), PStatus::kOK);
  EXPECT_EQ(u, 0xFFFFFFFEu);

  // Any set bit of the whole word reads as true.
  controller.Answer(api, {0, 1, 0, 0});
  bool b = false;
  EXPECT_EQ(device->GetParameter(Param::kP_0, b), PStatus::kOK);
  EXPECT_TRUE(b);
  controller.Answer(api, {0, 0, 0, 0, 3});
  EXPECT_EQ(device->GetParameter(Param::kP_0, b), PStatus::kOK);
  EXPECT_FALSE(b);

  // A NaN word widens to a NaN double.
  controller.Answer(api, {0, 0, 0xC0, 0x7F});
  EXPECT_EQ(device->GetParameter(Param::kP_0, d), PStatus::kOK);
  EXPECT_TRUE(std::isnan(d));

  // The core read returns the raw word whatever type it is given.
  controller.Answer(api, {0x78, 0x56, 0x34, 0x12, 9, 9, 9, 9});
  EXPECT_EQ(device->GetParameterCore(Param::kP_0, PType::kBool, u), PStatus::kOK);
  EXPECT_EQ(u, 0x12345678u);
}

TEST_F(ParametersTest, ReadDiscardsWaitingFrameThenSendsEmptyRequestAndTakesTheReply) {
  controller.Answer(0x306, {2, 0, 0, 0});
  const size_t mark = TraceSize();
  uint32_t mode = 0;
  EXPECT_EQ(device->GetParameter(Param::kIdleMode, mode), PStatus::kOK);
  EXPECT_EQ(mode, 2u);
  const Sent request = OnlyFrameSince(mark);
  EXPECT_EQ(request.api, 0x306);
  EXPECT_TRUE(request.bytes.empty());
  ExpectReplyReads(ReadsOf(kDevice, 0x306), true);
}

TEST_F(ParametersTest, UnansweredReadTimesOutAfterCanTimeoutAndKeepsOutArgument) {
  for (int32_t timeout : {20, 35}) {
    device->SetCanTimeout(timeout);
    halsim::ClearCanReads();
    const size_t mark = TraceSize();
    double d = 4.25;
    int i = 17;
    uint32_t u = 18;
    bool b = true;
    const int64_t ms = WallMsOf([&] {
      EXPECT_EQ(device->GetParameter(Param::kD_1, d), PStatus::kTimeout);
      EXPECT_EQ(device->GetParameter(Param::kD_1, i), PStatus::kTimeout);
      EXPECT_EQ(device->GetParameter(Param::kD_1, u), PStatus::kTimeout);
      EXPECT_EQ(device->GetParameter(Param::kD_1, b), PStatus::kTimeout);
    });
    EXPECT_GE(ms, 4 * timeout);  // each waited the CAN timeout on the steady clock
    EXPECT_EQ(d, 4.25);
    EXPECT_EQ(i, 17);
    EXPECT_EQ(u, 18u);
    EXPECT_TRUE(b);
    ExpectReplyReads(ReadsOf(kDevice, 0x317), false);
    EXPECT_EQ(SentTo(kDevice, 0x317, mark).size(), 4u);  // one request each, no retry
  }
}

TEST_F(ParametersTest, ZeroOrNegativeCanTimeoutLooksOnceWithoutWaiting) {
  for (int32_t timeout : {0, -5}) {
    device->SetCanTimeout(timeout);
    controller.Answer(0x306, {1, 0, 0, 0});
    halsim::ClearCanReads();
    uint32_t mode = 0;
    EXPECT_EQ(device->GetParameter(Param::kIdleMode, mode), PStatus::kOK);
    EXPECT_EQ(mode, 1u);
    ExpectReplyReads(ReadsOf(kDevice, 0x306), true);

    controller.SetReplier(0x306, [](const Bytes&) { return std::nullopt; });
    halsim::ClearCanReads();
    EXPECT_EQ(device->GetParameter(Param::kIdleMode, mode), PStatus::kTimeout);
    EXPECT_EQ(ReadsOf(kDevice, 0x306).size(), 2u);  // the discard and one look
  }
}

// Frames that are not the reply arrive while the read waits: the same
// parameter's reply for another device, another parameter of this device.
// Only the reply itself, late in the timeout, ends the wait.
TEST_F(ParametersTest, WaitEndsOnlyOnItsOwnReplyEvenLateInTheTimeout) {
  const auto timeout = tavrix_test::WallBound(std::chrono::milliseconds(200));
  device->SetCanTimeout(static_cast<int32_t>(timeout.count()));
  const uint32_t ownId = wire::ComposeId(kDevice, 0x30D);
  for (bool answered : {true, false}) {
    const size_t mark = TraceSize();
    std::thread bus([&] {
      const auto start = std::chrono::steady_clock::now();
      while (SentTo(kDevice, 0x30D, mark).empty() &&
             std::chrono::steady_clock::now() - start < timeout) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      const auto foreign = wire::EncodeValueFrame(wire::FloatBits(7.0F), wire::type::kFloat32);
      HALSIM_DeliverCanMessage(wire::ComposeId(kDevice + 1, 0x30D), foreign.data(), 5);
      HALSIM_DeliverCanMessage(wire::ComposeId(kDevice, 0x30E), foreign.data(), 5);
      if (!answered) return;
      std::this_thread::sleep_until(start + timeout * 3 / 5);
      const auto reply = wire::EncodeValueFrame(wire::FloatBits(2.5F), wire::type::kFloat32);
      HALSIM_DeliverCanMessage(ownId, reply.data(), 5);
    });
    double gain = -1.0;
    const PStatus status = device->GetParameter(Param::kP_0, gain);
    bus.join();
    EXPECT_EQ(status, answered ? PStatus::kOK : PStatus::kTimeout) << answered;
    EXPECT_EQ(gain, answered ? 2.5 : -1.0) << answered;
  }
}

TEST_F(ParametersTest, ReplyShorterThanAValueWordCountsAsNone) {
  for (const Bytes& reply : {Bytes{}, Bytes{1}, Bytes{1, 2, 3}}) {
    controller.Answer(0x306, reply);
    uint32_t mode = 99;
    EXPECT_EQ(device->GetParameter(Param::kIdleMode, mode), PStatus::kTimeout) << reply.size();
    EXPECT_EQ(mode, 99u);
  }
  controller.Answer(0x306, {1, 2, 3, 4});
  uint32_t mode = 0;
  EXPECT_EQ(device->GetParameter(Param::kIdleMode, mode), PStatus::kOK);
  EXPECT_EQ(mode, 0x04030201u);
}

TEST_F(ParametersTest, WrittenValueReadsBackFromAController) {
  controller.StoreParameters();
  EXPECT_EQ(device->SetParameter(Param::kFF_2, 0.125), PStatus::kOK);
  EXPECT_EQ(device->SetParameter(Param::kSmartCurrentLimit, 40u), PStatus::kOK);
  double ff = 0.0;
  uint32_t limit = 0;
  EXPECT_EQ(device->GetParameter(Param::kFF_2, ff), PStatus::kOK);
  EXPECT_EQ(device->GetParameter(Param::kSmartCurrentLimit, limit), PStatus::kOK);
  EXPECT_EQ(ff, 0.125);
  EXPECT_EQ(limit, 40u);
}

TEST_F(ParametersTest, ParameterTypesFollowTheTable) {
  // Both ends of each slot family, the ids around them, and ids outside the table.
  const std::vector<std::pair<int32_t, PType>> expected = {
      {2, PType::kUint32},   {11, PType::kFloat32},  {12, PType::kUint32},  {13, PType::kFloat32},
      {44, PType::kFloat32}, {45, PType::kUint32},   {50, PType::kBool},    {53, PType::kBool},
      {56, PType::kFloat32}, {74, PType::kUint32},   {75, PType::kFloat32}, {76, PType::kFloat32},
      {95, PType::kFloat32}, {96, PType::kFloat32},  {97, PType::kUint32},  {108, PType::kFloat32},
      {109, PType::kUint32}, {114, PType::kFloat32}, {-1, PType::kUint32},  {1000, PType::kUint32},
  };
  for (const auto& [id, type] : expected) {
    EXPECT_EQ(device->GetParameterType(static_cast<Param>(id)), type) << id;
  }
}

TEST_F(ParametersTest, FactoryDefaultsSendTheFlagAsABoolFrame) {
  for (bool flag : {true, false}) {
    const size_t mark = TraceSize();
    EXPECT_EQ(device->RestoreFactoryDefaults(flag), zem::CANError::kSuccess);
    const Sent frame = OnlyFrameSince(mark);
    EXPECT_EQ(frame.api, 116);
    EXPECT_EQ(frame.bytes, (Bytes{flag ? uint8_t{1} : uint8_t{0}, 0, 0, 0, 3}));
  }
  EXPECT_TRUE(ReadsOf(kDevice, 116).empty());
}

}  // namespace
}  // namespace lowlevel_test
