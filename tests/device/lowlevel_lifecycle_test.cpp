// Construction, destruction and identity of the low-level device: the traffic
// of construction with and without a controller, the firmware check and its
// messages, the once-per-process start-up thread, and the identity queries.
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <hal/simulation/CanData.h>
#include <hal/simulation/MockHooks.h>

#include "lowlevel_fixture.h"
#include "tavrix/TavrixDriver.h"
#include "tavrix/Wire.h"

namespace lowlevel_test {
namespace {

namespace wire = zem::wire;
using halsim::CanReadKind;

const char* const kMissingText3 =
    "Unable to retrieve TAVRIX firmware version for CAN ID: 3. Please verify the deviceID "
    "field matches the configured CAN ID of the controller, and that the controller is "
    "connected to the CAN Bus.";
const char* const kTooOldText3 =
    "The firmware on TAVRIX with CAN ID: 3 is too old and needs to be updated. Refer to "
    "https://www.tavrix.example/support for details.";

// Device 62 is never constructed in these tests: its frames on API id 2 come
// from the start-up sweep alone, one stop request and one zero frame.
void ExpectOneSweep() {
  int stops = 0;
  int zeros = 0;
  for (const auto& s : SentTo(62, 2)) {
    if (s.periodMs == -1) ++stops;
    if (s.periodMs == 0 && s.bytes == Bytes(8, 0)) ++zeros;
  }
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(zeros, 1);
}

using LifecycleTest = LowLevelTest;

TEST_F(LifecycleTest, ConstructionWithCurrentFirmwareSendsRequestThenMotorTypeSilently) {
  ScriptedController controller(3);
  controller.AnswerFirmware(wire::FirmwareVersion(1, 1, 28), false);
  // The registry bit must not be set yet when the motor type goes out.
  std::atomic<bool> registeredAtMotorTypeWrite{true};
  const int32_t observer = HALSIM_RegisterCanFrameCallback(
      [](void* param, uint64_t, uint32_t id, const uint8_t*, uint8_t, int32_t, HAL_Bool) {
        if (id == wire::ComposeId(3, wire::ParameterApiId(2))) {
          static_cast<std::atomic<bool>*>(param)->store(((RegistryWord() >> 3) & 1u) != 0);
        }
      },
      &registeredAtMotorTypeWrite);

  TestDevice device(3, MotorType::kMotorKind0);
  HALSIM_CancelCanFrameCallback(observer);

  const auto frames = SentTo(3);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].api, wire::api::kFirmwareVersion);
  EXPECT_TRUE(frames[0].bytes.empty());
  EXPECT_EQ(frames[1].api, 0x302);
  EXPECT_EQ(frames[1].bytes, (Bytes{0, 0, 0, 0, 1}));
  EXPECT_FALSE(registeredAtMotorTypeWrite.load());

  ExpectReplyReads(ReadsOf(3, wire::api::kFirmwareVersion), true);

  EXPECT_TRUE(halsim::GetDriverStationErrors().empty());
  EXPECT_EQ(device.GetFirmwareString(), "v1.1.28");
  EXPECT_EQ(device.GetDeviceId(), 3);
  EXPECT_EQ((RegistryWord() >> 3) & 1u, 1u);

  const auto reports = halsim::GetUsageReports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].resource, 83);
  EXPECT_EQ(reports[0].instanceNumber, 3);
  EXPECT_EQ(reports[0].context, 0);
  EXPECT_FALSE(reports[0].hasFeature);

  // The control-frame period of 10 ms: the never-filled slot repeats every 10 ms.
  ASSERT_TRUE(AwaitSetpointThread(3));
  const size_t mark = TraceSize();
  for (int i = 0; i < 3; ++i) HALSIM_StepTiming(10000);
  const auto setpoints = SentTo(3, wire::api::kSetpointNeverFilled, mark);
  ASSERT_EQ(setpoints.size(), 3u);
  EXPECT_EQ(setpoints[2].timestampUs - setpoints[1].timestampUs, 10000u);
  EXPECT_EQ(setpoints[0].bytes, Bytes(8, 0));
}

TEST_F(LifecycleTest, ConstructionWithoutControllerReportsMissingFirmwareAndCompletes) {
  std::unique_ptr<TestDevice> constructed;
  const int64_t ms = WallMsOf([&] { constructed = std::make_unique<TestDevice>(3); });
  TestDevice& device = *constructed;
  EXPECT_GE(ms, 100);  // the firmware reply was awaited ten 10 ms reads' worth

  const auto frames = SentTo(3);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].api, wire::api::kFirmwareVersion);
  EXPECT_EQ(frames[1].api, 0x302);
  EXPECT_EQ(frames[1].bytes, (Bytes{1, 0, 0, 0, 1}));

  ExpectReplyReads(ReadsOf(3, wire::api::kFirmwareVersion), false);

  EXPECT_EQ(halsim::GetDriverStationErrors(), std::vector<std::string>{kMissingText3});
  EXPECT_EQ(device.GetFirmwareString(), "");
  EXPECT_EQ(device.GetMotorType(), MotorType::kMotorKind1);
  EXPECT_EQ((RegistryWord() >> 3) & 1u, 1u);
  EXPECT_EQ(halsim::GetUsageReports().size(), 1u);
}

struct FirmwareCase {
  const char* name;
  Bytes reply;
  uint32_t version;
  bool debugBuild;
  const char* text;
  const char* message;  // nullptr when construction stays silent
};

class FirmwareTest : public LowLevelTest, public ::testing::WithParamInterface<FirmwareCase> {};

TEST_P(FirmwareTest, ReplyGivesVersionTextAndMessage) {
  const FirmwareCase& c = GetParam();
  ScriptedController controller(3);
  controller.Answer(wire::api::kFirmwareVersion, c.reply);

  TestDevice device(3);

  const auto errors = halsim::GetDriverStationErrors();
  if (c.message == nullptr) {
    EXPECT_TRUE(errors.empty());
  } else {
    EXPECT_EQ(errors, std::vector<std::string>{c.message});
  }
  EXPECT_EQ(device.GetFirmwareString(), c.text);
  bool debugBuild = !c.debugBuild;
  EXPECT_EQ(device.GetFirmwareVersion(debugBuild), c.version);
  EXPECT_EQ(debugBuild, c.debugBuild);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, FirmwareTest,
    ::testing::Values(
        FirmwareCase{"Old", {1, 1, 0, 0x1B, 0}, 0x0101001Bu, false, "v1.1.27", kTooOldText3},
        FirmwareCase{"Current", {1, 1, 0, 0x1C, 0}, 0x0101001Cu, false, "v1.1.28", nullptr},
        FirmwareCase{"Debug", {1, 2, 1, 0, 1}, 0x01020100u, true, "v1.2.256 Debug Build", nullptr},
        FirmwareCase{"Oldest", {0, 0, 0, 1, 0}, 1u, false, "v0.0.1", kTooOldText3},
        FirmwareCase{"Highest",
                     {255, 255, 255, 255, 7},
                     0xFFFFFFFFu,
                     true,
                     "v255.255.65535 Debug Build",
                     nullptr},
        // All-zero version: a reply, but no version; the text still follows it.
        FirmwareCase{"AllZero", {0, 0, 0, 0, 0}, 0u, false, "v0.0.0", kMissingText3},
        // A reply without the debug byte reads it as zero.
        FirmwareCase{"WithoutDebugByte", {1, 3, 0, 2}, 0x01030002u, false, "v1.3.2", nullptr},
        // An empty reply reads as version 0.
        FirmwareCase{"Empty", {}, 0u, false, "v0.0.0", kMissingText3}),
    [](const ::testing::TestParamInfo<FirmwareCase>& param) {
      return std::string(param.param.name);
    });

TEST_F(LifecycleTest, FirmwareReplyOnTheTenthReadIsAccepted) {
  int firmwareReads = 0;
  halsim::SetCanReadHook([&](const halsim::CanReadRecord& r) {
    if (r.messageID != wire::ComposeId(7, wire::api::kFirmwareVersion)) return;
    if (++firmwareReads == 10) {
      const auto reply = wire::EncodeFirmware(wire::FirmwareVersion(1, 4, 0), false);
      HALSIM_DeliverCanMessage(r.messageID, reply.data(), static_cast<uint8_t>(reply.size()));
    }
  });

  TestDevice device(7);
  halsim::SetCanReadHook({});

  EXPECT_EQ(firmwareReads, 10);
  EXPECT_EQ(device.GetFirmwareString(), "v1.4.0");
  EXPECT_TRUE(halsim::GetDriverStationErrors().empty());
}

TEST_F(LifecycleTest, LaterFirmwareReadsReplaceTextOnlyWhenAnswered) {
  ScriptedController controller(3);
  controller.AnswerFirmware(wire::FirmwareVersion(1, 5, 0), false);
  TestDevice device(3);
  ASSERT_EQ(device.GetFirmwareString(), "v1.5.0");

  controller.AnswerFirmware(wire::FirmwareVersion(2, 0, 1), true);
  EXPECT_EQ(device.GetFirmwareVersion(), wire::FirmwareVersion(2, 0, 1));
  EXPECT_EQ(device.GetFirmwareString(), "v2.0.1 Debug Build");

  controller.SetReplier(wire::api::kFirmwareVersion, [](const Bytes&) { return std::nullopt; });
  bool debugBuild = true;
  EXPECT_EQ(device.GetFirmwareVersion(debugBuild), 0u);
  EXPECT_TRUE(debugBuild);  // untouched by a failed read
  EXPECT_EQ(device.GetFirmwareString(), "v2.0.1 Debug Build");
}

TEST_F(LifecycleTest, StartupThreadRunsOnceAcrossConstructions) {
  auto first = std::make_unique<TestDevice>(3);
  ASSERT_TRUE(AwaitSetpointThread(3));
  first.reset();
  TestDevice second(4);
  TestDevice third(3);
  ASSERT_TRUE(AwaitSetpointThread(4));
  HALSIM_StepTiming(100000);

  ExpectOneSweep();
}

TEST_F(LifecycleTest, ConcurrentFirstConstructionsStartTheThreadOnce) {
  constexpr int kThreads = 4;
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  std::vector<int> firmware(kThreads, -1);
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ++ready;
      while (ready.load() < kThreads) std::this_thread::yield();
      TestDevice device(10 + i);
      firmware[static_cast<size_t>(i)] = static_cast<int>(device.GetFirmwareString().size());
    });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < kThreads; ++i) ASSERT_TRUE(AwaitSetpointThread(10 + i)) << i;

  ExpectOneSweep();
  EXPECT_EQ(halsim::GetDriverStationErrors().size(), static_cast<size_t>(kThreads));
  EXPECT_EQ(firmware, std::vector<int>(kThreads, 0));
}

TEST_F(LifecycleTest, DestructionSendsNothingAndLeavesDeviceRegistered) {
  ScriptedController controller(5);
  controller.AnswerFirmware(wire::FirmwareVersion(1, 5, 0), false);
  {
    TestDevice device(5);
    ASSERT_TRUE(AwaitSetpointThread(5));
    device.SetpointCommand(0.5, zem::ControlType::kControlType0, 0, 0.0);
    HALSIM_StepTiming(10000);
  }
  const size_t mark = TraceSize();
  EXPECT_TRUE(AllSentTo(5, mark).empty());
  EXPECT_EQ((RegistryWord() >> 5) & 1u, 1u);

  // The driver keeps repeating the last setpoint.
  HALSIM_StepTiming(20000);
  const auto after = SetpointsTo(5, mark);
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(after.back().api, 2);
  EXPECT_EQ(after.back().bytes, (Bytes{0, 0, 0, 0x3F, 0, 0, 0, 0}));
}

TEST_F(LifecycleTest, IdentityQueries) {
  ScriptedController controller(9);
  controller.AnswerFirmware(wire::FirmwareVersion(1, 5, 0), false);
  controller.Answer(0x302, {0, 0, 0, 0, 1});
  TestDevice device(9);
  const size_t mark = TraceSize();

  EXPECT_TRUE(device.GetSerialNumber().empty());
  EXPECT_TRUE(SentTo(9, mark).empty());

  EXPECT_EQ(device.GetMotorType(), MotorType::kMotorKind0);
  // Out-of-table values pass through unchanged.
  controller.Answer(0x302, {7, 0, 0, 0});
  EXPECT_EQ(static_cast<int32_t>(device.GetMotorType()), 7);
  // A reply without a whole value word counts as none.
  controller.Answer(0x302, {0, 0});
  EXPECT_EQ(device.GetMotorType(), MotorType::kMotorKind1);

  const size_t before = TraceSize();
  EXPECT_EQ(device.SetMotorType(MotorType::kMotorKind1), zem::CANError::kSuccess);
  const auto writes = SentTo(9, 0x302, before);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].bytes, (Bytes{1, 0, 0, 0, 1}));

  const auto reads = ReadsOf(9, 0x302);
  ASSERT_FALSE(reads.empty());
  EXPECT_EQ(reads.back().kind, CanReadKind::kNew);
  EXPECT_TRUE(reads.back().found);
}

TEST_F(LifecycleTest, DeviceNumbersOutsideTheDriverRangeConstructAsUsual) {
  for (int number : {0, 63}) {
    TestDevice device(number);
    EXPECT_EQ(device.GetDeviceId(), number);
    EXPECT_EQ(SentTo(number).size(), 2u) << number;
  }
  EXPECT_EQ(RegistryWord(), 0u);
  EXPECT_EQ(halsim::GetUsageReports().size(), 2u);
}

}  // namespace
}  // namespace lowlevel_test
