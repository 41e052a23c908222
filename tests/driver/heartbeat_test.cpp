// The heartbeat thread and the start-up sweep, observed on the simulated bus
// with the simulated clock paused and stepped.
#include <array>
#include <atomic>
#include <ostream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <hal/CAN.h>
#include <hal/simulation/DriverStationData.h>
#include <hal/simulation/MockHooks.h>
#include <tavrix/TavrixDriver.h>
#include <tavrix/Wire.h>

#include "bus_recorder.h"
#include "process_threads.h"

namespace {

using tavrix_test::CallFromThreadsAtOnce;
using tavrix_test::CountProcessThreads;
using tavrix_test::StartRuntimeHelperThreads;
using tavrix_test::WaitForProcessThreads;

using Bytes8 = std::array<uint8_t, 8>;
constexpr uint32_t kHeartbeatId = 0x02052480u;
constexpr uint64_t kPeriodUs = 25000;

// Starts the heartbeat on a paused clock and returns the time of its first frame.
uint64_t StartHeartbeat(const BusRecorder& bus) {
  HALSIM_PauseTiming();
  EXPECT_EQ(ZEM_CANTavrixRunHeartbeat(), 1);
  EXPECT_TRUE(bus.WaitForCount(kHeartbeatId, 1));
  return bus.FramesFor(kHeartbeatId).front().timeUs;
}

struct PayloadCase {
  const char* name;
  std::vector<int32_t> registered;
  bool enabled;
  Bytes8 payload;
};

void PrintTo(const PayloadCase& c, std::ostream* os) { *os << c.name; }

class DriverHeartbeatPayload : public testing::TestWithParam<PayloadCase> {};

TEST_P(DriverHeartbeatPayload, CarriesTheRegistryOnlyWhileEnabled) {
  const PayloadCase& c = GetParam();
  BusRecorder bus;
  for (int32_t d : c.registered) ZEM_CANTavrixRegisterDevice(d);
  HALSIM_SetDriverStationEnabled(c.enabled ? 1 : 0);
  StartHeartbeat(bus);
  HALSIM_StepTiming(2 * kPeriodUs);
  const std::vector<SentFrame> frames = bus.FramesFor(kHeartbeatId);
  ASSERT_EQ(frames.size(), 3u);
  for (const SentFrame& f : frames) {
    EXPECT_EQ(f.size, 8);
    EXPECT_EQ(f.periodMs, HAL_CAN_SEND_PERIOD_NO_REPEAT);
    EXPECT_EQ(f.data, c.payload);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DriverHeartbeatPayload,
    testing::Values(
        PayloadCase{"Device3", {3}, true, {0x08, 0, 0, 0, 0, 0, 0, 0}},
        PayloadCase{"Devices1And62", {1, 62}, true, {0x02, 0, 0, 0, 0, 0, 0, 0x40}},
        PayloadCase{"InvalidNumbersIgnored", {0, 63, 64, -1, 9}, true, {0, 0x02, 0, 0, 0, 0, 0, 0}},
        PayloadCase{"NothingRegistered", {}, true, {0, 0, 0, 0, 0, 0, 0, 0}},
        PayloadCase{"Disabled", {1, 3, 62}, false, {0, 0, 0, 0, 0, 0, 0, 0}}),
    [](const testing::TestParamInfo<PayloadCase>& param) { return std::string(param.param.name); });

TEST(DriverHeartbeat, GoesOutEvery25MsOverASteppedSecond) {
  BusRecorder bus;
  ZEM_CANTavrixRegisterDevice(3);
  HALSIM_SetDriverStationEnabled(1);
  const uint64_t t0 = StartHeartbeat(bus);
  HALSIM_StepTiming(1000000);
  const std::vector<SentFrame> frames = bus.FramesFor(kHeartbeatId);
  ASSERT_EQ(frames.size(), 41u);  // at t0 and 40 periods later
  for (size_t k = 0; k < frames.size(); ++k) {
    EXPECT_EQ(frames[k].timeUs, t0 + k * kPeriodUs) << "frame " << k;
  }
  // Nothing else was sent: the heartbeat thread only sends heartbeats.
  EXPECT_EQ(bus.Frames().size(), frames.size());
}

TEST(DriverHeartbeat, FollowsTheEnableStateAndTheRegistryFromTheNextFrame) {
  BusRecorder bus;
  ZEM_CANTavrixRegisterDevice(3);
  ZEM_CANTavrixRegisterDevice(5);
  StartHeartbeat(bus);  // disabled at start
  HALSIM_SetDriverStationEnabled(1);
  HALSIM_StepTiming(kPeriodUs);
  ZEM_CANTavrixUnregisterDevice(3);
  HALSIM_StepTiming(kPeriodUs);
  ZEM_CANTavrixUnregisterDevice(5);
  HALSIM_StepTiming(kPeriodUs);
  ZEM_CANTavrixRegisterDevice(5);
  HALSIM_SetDriverStationEnabled(0);
  HALSIM_StepTiming(kPeriodUs);
  std::vector<uint64_t> words;
  for (const SentFrame& f : bus.FramesFor(kHeartbeatId)) {
    words.push_back(zem::wire::DecodeHeartbeat(f.data.data(), f.size));
  }
  EXPECT_EQ(words, (std::vector<uint64_t>{0, 0x28, 0x20, 0, 0}));
}

TEST(DriverHeartbeat, StartsOneThreadHoweverOftenAndFromWhereverItIsStarted) {
  BusRecorder bus;
  HALSIM_PauseTiming();
  StartRuntimeHelperThreads();
  const int threadsBefore = CountProcessThreads();
  const std::vector<int32_t> results =
      CallFromThreadsAtOnce(8, [] { return ZEM_CANTavrixRunHeartbeat(); });
  for (int32_t r : results) EXPECT_EQ(r, 1);
  EXPECT_EQ(ZEM_CANTavrixRunHeartbeat(), 1);
  ASSERT_TRUE(bus.WaitForCount(kHeartbeatId, 1));
  EXPECT_EQ(WaitForProcessThreads(threadsBefore + 1), threadsBefore + 1);
  // One thread sends one frame per period.
  HALSIM_StepTiming(4 * kPeriodUs);
  EXPECT_EQ(bus.FramesFor(kHeartbeatId).size(), 5u);
}

TEST(DriverStartupSweep, MakesTheExact504CallsInOrder) {
  BusRecorder bus;
  ZEM_CANTavrixRegisterDevice(4);  // the sweep ignores the registry
  ZEM_CANTavrixHeartbeatInit();
  std::vector<SentFrame> expected;
  for (int32_t d = 0; d <= 62; ++d) {
    for (int32_t api : {2, 18, 50, 66, 82, 67, 19}) {
      SentFrame stop;
      stop.id = CreateCANID(d, api);
      stop.periodMs = HAL_CAN_SEND_PERIOD_STOP_REPEATING;
      expected.push_back(stop);
      if (api == 2) {
        SentFrame zero;
        zero.id = CreateCANID(d, api);
        zero.size = 8;
        expected.push_back(zero);
      }
    }
  }
  const std::vector<SentFrame> frames = bus.Frames();
  ASSERT_EQ(frames.size(), 504u);
  ASSERT_EQ(expected.size(), 504u);
  for (size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].id, expected[i].id) << "call " << i;
    EXPECT_EQ(frames[i].size, expected[i].size) << "call " << i;
    EXPECT_EQ(frames[i].periodMs, expected[i].periodMs) << "call " << i;
    EXPECT_EQ(frames[i].data, Bytes8{}) << "call " << i;
  }
  EXPECT_EQ(frames.front().id, 0x02050080u);
  EXPECT_EQ(frames.back().id, 0x020504FEu);
  // Calling it again repeats it whole.
  ZEM_CANTavrixHeartbeatInit();
  EXPECT_EQ(bus.Frames().size(), 1008u);
}

}  // namespace
