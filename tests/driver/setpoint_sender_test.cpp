// The setpoint sender thread, observed on the simulated bus with the simulated
// clock paused and stepped.
#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <ostream>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <hal/CAN.h>
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
using zem::wire::ApiOf;
constexpr uint64_t kMsUs = 1000;

void Serve(int32_t device, int32_t periodMs) {
  ZEM_CANTavrixRegisterDevice(device);
  ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(device, periodMs);
}

std::vector<uint64_t> TimesOf(const std::vector<SentFrame>& frames) {
  std::vector<uint64_t> times;
  times.reserve(frames.size());
  for (const SentFrame& f : frames) times.push_back(f.timeUs);
  return times;
}

// Starts the sender on a paused clock, waits for the first frame of each given
// device and returns the time of the first one (the start of the first pass).
uint64_t StartSender(const BusRecorder& bus, std::vector<int> firstFrameDevices) {
  HALSIM_PauseTiming();
  EXPECT_EQ(ZEM_CANTavrixRunSetDriver(), 0);
  for (int d : firstFrameDevices) {
    EXPECT_TRUE(bus.WaitFor([d](const std::vector<SentFrame>& frames) {
      return std::any_of(frames.begin(), frames.end(),
                         [d](const SentFrame& f) { return zem::wire::DeviceOf(f.id) == d; });
    })) << "no frame for device "
        << d;
  }
  return bus.FramesForDevice(firstFrameDevices.front()).front().timeUs;
}

TEST(DriverSetpointSender, NeverFilledSlotGoesOutAsZerosOnApiIdZero) {
  BusRecorder bus;
  Serve(7, 10);
  StartSender(bus, {7});
  const SentFrame first = bus.FramesForDevice(7).front();
  EXPECT_EQ(first.id, 0x02050007u);
  EXPECT_EQ(first.size, 8);
  EXPECT_EQ(first.periodMs, HAL_CAN_SEND_PERIOD_NO_REPEAT);
  EXPECT_EQ(first.data, Bytes8{});
}

TEST(DriverSetpointSender, StoredSetpointGoesOutAsStoredAndIsReplacedWhenNextDue) {
  BusRecorder bus;
  ZEM_CANTavrixSetDriverSet4(5, 0.5f, 2, 1, 100);
  Serve(5, 10);
  const uint64_t t0 = StartSender(bus, {5});
  const SentFrame first = bus.FramesForDevice(5).front();
  EXPECT_EQ(first.id, 0x02050085u);
  EXPECT_EQ(first.data, (Bytes8{0x00, 0x00, 0x00, 0x3F, 0x64, 0x00, 0x01, 0x00}));

  // A new setpoint is only stored: it goes out when the device is next due.
  ZEM_CANTavrixSetDriverSet4(5, -1.0f, 18, 3, -2);
  HALSIM_StepTiming(10 * kMsUs - 1);
  EXPECT_EQ(bus.FramesForDevice(5).size(), 1u);
  HALSIM_StepTiming(1);
  const std::vector<SentFrame> frames = bus.FramesForDevice(5);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1].timeUs, t0 + 10 * kMsUs);
  EXPECT_EQ(frames[1].id, CreateCANID(5, 18));
  EXPECT_EQ(frames[1].data, (Bytes8{0x00, 0x00, 0x80, 0xBF, 0xFE, 0xFF, 0x03, 0x00}));
}

TEST(DriverSetpointSender, EachDeviceAtItsOwnPeriodLowerNumberFirst) {
  BusRecorder bus;
  Serve(4, 20);
  Serve(3, 10);
  const uint64_t t0 = StartSender(bus, {3, 4});
  HALSIM_StepTiming(1000 * kMsUs);
  std::vector<std::pair<int, uint64_t>> expected;
  for (uint64_t k = 0; k <= 100; ++k) {
    expected.emplace_back(3, t0 + k * 10 * kMsUs);
    if (k % 2 == 0) expected.emplace_back(4, t0 + k * 10 * kMsUs);
  }
  std::vector<std::pair<int, uint64_t>> sent;
  for (const SentFrame& f : bus.Frames()) sent.emplace_back(zem::wire::DeviceOf(f.id), f.timeUs);
  EXPECT_EQ(sent, expected);
}

// Passes with device 5 (10 ms) stopped after its frame at t0 + 10 ms: the
// scans run at t0 + 20, 110, 120, 210 and 220 ms (each wait ends at most
// 100 ms after the previous scan).
struct ResumeCase {
  int32_t newPeriodMs;
  uint64_t firstResumedMs;  // after t0
};

void PrintTo(const ResumeCase& c, std::ostream* os) { *os << c.newPeriodMs << " ms"; }

class DriverPeriodResume : public testing::TestWithParam<ResumeCase> {};

TEST_P(DriverPeriodResume, ZeroStopsAndANewPeriodCountsFromTheLastSend) {
  BusRecorder bus;
  Serve(5, 10);
  const uint64_t t0 = StartSender(bus, {5});
  HALSIM_StepTiming(10 * kMsUs);
  ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(5, 0);
  HALSIM_StepTiming(200 * kMsUs);
  EXPECT_EQ(bus.FramesForDevice(5).size(), 2u) << "period 0 stops the frames";
  ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(5, GetParam().newPeriodMs);
  HALSIM_StepTiming(300 * kMsUs);
  const std::vector<uint64_t> times = TimesOf(bus.FramesForDevice(5));
  ASSERT_GE(times.size(), 3u);
  EXPECT_EQ(times[2], t0 + GetParam().firstResumedMs * kMsUs);
  if (times.size() > 3) {
    EXPECT_EQ(times[3], times[2] + static_cast<uint64_t>(GetParam().newPeriodMs) * kMsUs);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, DriverPeriodResume,
                         testing::Values(ResumeCase{50, 220},    // long elapsed: next pass
                                         ResumeCase{300, 310}),  // last send + 300 ms
                         [](const testing::TestParamInfo<ResumeCase>& param) {
                           return "Period" + std::to_string(param.param.newPeriodMs);
                         });

TEST(DriverSetpointSender, UnregisteringStopsFramesAndReregisteringResumesTheStoredContent) {
  BusRecorder bus;
  ZEM_CANTavrixSetDriverSet4(5, 0.25f, 66, 2, 7);
  Serve(5, 10);
  const uint64_t t0 = StartSender(bus, {5});
  HALSIM_StepTiming(10 * kMsUs);
  ZEM_CANTavrixUnregisterDevice(5);
  HALSIM_StepTiming(100 * kMsUs);
  EXPECT_EQ(bus.FramesForDevice(5).size(), 2u);
  ZEM_CANTavrixRegisterDevice(5);  // the next scan runs at t0 + 120 ms
  HALSIM_StepTiming(20 * kMsUs);
  const std::vector<SentFrame> frames = bus.FramesForDevice(5);
  EXPECT_EQ(TimesOf(frames),
            (std::vector<uint64_t>{t0, t0 + 10 * kMsUs, t0 + 120 * kMsUs, t0 + 130 * kMsUs}));
  for (const SentFrame& f : frames) {
    EXPECT_EQ(f.id, CreateCANID(5, 66));
    EXPECT_EQ(f.data, (Bytes8{0x00, 0x00, 0x80, 0x3E, 0x07, 0x00, 0x02, 0x00}));
  }
}

TEST(DriverSetpointSender, WithNothingToServeWakesWithin100MsOfTheLastScan) {
  BusRecorder bus;
  Serve(5, 10);
  const uint64_t t0 = StartSender(bus, {5});
  HALSIM_StepTiming(10 * kMsUs);  // frame at t0 + 10 ms, then a scan ending there
  ZEM_CANTavrixUnregisterDevice(5);
  HALSIM_StepTiming(10 * kMsUs);  // an empty scan at t0 + 20 ms
  ZEM_CANTavrixRegisterDevice(5);
  HALSIM_StepTiming(90 * kMsUs - 1);
  EXPECT_EQ(bus.FramesForDevice(5).size(), 2u) << "the loop slept with nothing due";
  HALSIM_StepTiming(1);
  const std::vector<SentFrame> frames = bus.FramesForDevice(5);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[2].timeUs, t0 + 110 * kMsUs) << "100 ms after the scan at t0 + 10 ms";
}

TEST(DriverSetpointSender, InvalidDeviceNumbersLeaveEveryTableUnchanged) {
  BusRecorder bus;
  ZEM_CANTavrixSetDriverSet4(5, 1.5f, 2, 0, 0);
  Serve(5, 10);
  // 64 and -1 alias 0 and 63 when masked; 69, -59 and INT_MIN + 5 alias 5.
  for (int32_t invalid : {0, 63, 64, -1, 69, -59, INT_MIN + 5, INT_MIN, INT_MAX}) {
    ZEM_CANTavrixSetDriverSet4(invalid, 9.0f, 18, 9, 9);
    ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(invalid, 1);
  }
  // Even with their registry bits forced, 0 and 63 have no period and get nothing.
  __atomic_fetch_or(&ZEM_CANRegisteredDevices, 1ull | (1ull << 63), __ATOMIC_ACQ_REL);
  StartSender(bus, {5});
  HALSIM_StepTiming(100 * kMsUs);
  const std::vector<SentFrame> frames = bus.Frames();
  EXPECT_EQ(frames.size(), 11u);  // device 5 alone, every 10 ms
  for (const SentFrame& f : frames) {
    EXPECT_EQ(f.id, CreateCANID(5, 2));
    EXPECT_EQ(f.data, (Bytes8{0x00, 0x00, 0xC0, 0x3F, 0, 0, 0, 0}));
  }
}

// Periods without a meaning (negative) stop the frames; huge ones are kept
// exactly, without overflowing into a short or negative period.
struct PeriodCase {
  int32_t periodMs;
  size_t framesInASecond;
};

void PrintTo(const PeriodCase& c, std::ostream* os) { *os << c.periodMs << " ms"; }

class DriverOddPeriod : public testing::TestWithParam<PeriodCase> {};

TEST_P(DriverOddPeriod, NeverFloodsTheBus) {
  BusRecorder bus;
  Serve(1, 10);  // a device whose frames show the loop is running
  Serve(5, GetParam().periodMs);
  StartSender(bus, {1});
  HALSIM_StepTiming(1000 * kMsUs);
  EXPECT_EQ(bus.FramesForDevice(1).size(), 101u);
  EXPECT_EQ(bus.FramesForDevice(5).size(), GetParam().framesInASecond);
}

INSTANTIATE_TEST_SUITE_P(Cases, DriverOddPeriod,
                         testing::Values(PeriodCase{-1, 0}, PeriodCase{-10, 0},
                                         PeriodCase{INT_MIN, 0}, PeriodCase{1000, 2},
                                         PeriodCase{2147484, 1},  // above 2^31 us
                                         PeriodCase{INT_MAX, 1}),
                         [](const testing::TestParamInfo<PeriodCase>& param) {
                           const int32_t ms = param.param.periodMs;
                           const int64_t magnitude = ms < 0 ? -int64_t{ms} : ms;
                           return (ms < 0 ? "Minus" : "Plus") + std::to_string(magnitude);
                         });

TEST(DriverSetpointSender, StartsOneThreadHoweverItIsStarted) {
  BusRecorder bus;
  Serve(1, 10);
  HALSIM_PauseTiming();
  StartRuntimeHelperThreads();
  const int threadsBefore = CountProcessThreads();
  const std::vector<int32_t> results = CallFromThreadsAtOnce(8, [] {
    ZEM_CANTavrixSetDriverInit();
    return ZEM_CANTavrixRunSetDriver();
  });
  for (int32_t r : results) EXPECT_EQ(r, 0);
  EXPECT_EQ(ZEM_CANTavrixRunSetDriver(), 0);
  ASSERT_TRUE(bus.WaitForCount(CreateCANID(1, 0), 1));
  EXPECT_EQ(WaitForProcessThreads(threadsBefore + 1), threadsBefore + 1);
  HALSIM_StepTiming(30 * kMsUs);
  EXPECT_EQ(bus.FramesForDevice(1).size(), 4u);
}

// Writers store self-consistent setpoints: from the value k alone the API id,
// slot and auxiliary word follow, so a frame mixing two stores shows.
int32_t ApiFor(uint32_t k) { return zem::wire::kSetpointApiIds[k % 7]; }
uint8_t SlotFor(uint32_t k) { return static_cast<uint8_t>((k * 37u) % 251u); }
int16_t AuxFor(uint32_t k) {
  return static_cast<int16_t>(static_cast<int32_t>(k % 65536u) - 32768);
}
void StoreCase(uint32_t k) {
  ZEM_CANTavrixSetDriverSet4(5, static_cast<float>(k), ApiFor(k), SlotFor(k), AuxFor(k));
}

TEST(DriverSetpointSender, NoFrameMixesTwoStores) {
  BusRecorder bus;
  StoreCase(0);
  Serve(5, 1);
  StartSender(bus, {5});
  // One writer keeps the setpoint lock uncontended, so it spends its time storing.
  constexpr uint32_t kWriters = 1;
  constexpr uint64_t kSteppedMs = 10000;           // a frame every millisecond
  constexpr uint32_t kValuesPerWriter = 1u << 22;  // values stay exact as floats
  std::atomic<bool> stop{false};
  std::vector<std::thread> writers;
  for (uint32_t w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (uint32_t i = 0; !stop.load(std::memory_order_relaxed); i = (i + 1) % kValuesPerWriter) {
        StoreCase(w * kValuesPerWriter + i);
      }
    });
  }
  HALSIM_StepTiming(kSteppedMs * kMsUs);
  stop = true;
  for (std::thread& t : writers) t.join();
  const std::vector<SentFrame> frames = bus.FramesForDevice(5);
  ASSERT_EQ(frames.size(), kSteppedMs + 1);
  size_t distinct = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    const zem::wire::Setpoint s = zem::wire::DecodeSetpoint(frames[i].data.data(), frames[i].size);
    const auto k = static_cast<uint32_t>(s.value);
    ASSERT_EQ(ApiOf(frames[i].id), ApiFor(k)) << "frame " << i;
    ASSERT_EQ(s.pidSlot, SlotFor(k)) << "frame " << i;
    ASSERT_EQ(s.aux, AuxFor(k)) << "frame " << i;
    if (i > 0 && frames[i].data != frames[i - 1].data) ++distinct;
  }
  EXPECT_GT(distinct, 0u) << "the writers never changed the content under the sender";
}

}  // namespace
