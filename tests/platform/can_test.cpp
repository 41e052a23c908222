// Simulated CAN bus: robot sends, device deliveries, reads through frc::CAN and the
// raw receive, repetition on the stepped clock, observers and records.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "frc/CAN.h"
#include "hal/CAN.h"
#include "hal/Errors.h"
#include "hal/HAL.h"
#include "hal/simulation/CanData.h"
#include "hal/simulation/MockHooks.h"
#include "hal/simulation/SimRecords.h"

namespace {

constexpr int kDevice = 7;
constexpr int kManufacturer = 5;
constexpr int kType = 2;
constexpr int kApi = 0x61;

uint32_t IdOf(int apiId, int device = kDevice) {
  return static_cast<uint32_t>(kType) << 24 | static_cast<uint32_t>(kManufacturer) << 16 |
         static_cast<uint32_t>(apiId) << 6 | static_cast<uint32_t>(device);
}

uint64_t Now() {
  int32_t status = 0;
  return HAL_GetFPGATime(&status);
}

void Deliver(uint32_t id, std::vector<uint8_t> bytes) {
  HALSIM_DeliverCanMessage(id, bytes.data(), static_cast<uint8_t>(bytes.size()));
}

frc::CANData Garbage() {
  frc::CANData data;
  std::memset(&data, 0xAA, sizeof(data));
  return data;
}

std::vector<uint8_t> Bytes(const frc::CANData& data) {
  return std::vector<uint8_t>(data.data, data.data + std::max(0, data.length));
}

// What a "new" read that found nothing leaves: its bytes stay, length and time are 0.
void ExpectNoFrame(const frc::CANData& data) {
  EXPECT_EQ(data.length, 0);
  EXPECT_EQ(data.timestamp, 0u);
}

// The other reads write nothing when they fail.
bool IsGarbage(const frc::CANData& data) {
  const frc::CANData garbage = Garbage();
  // Field by field: the padding after `length` is nobody's output.
  return std::memcmp(data.data, garbage.data, sizeof(data.data)) == 0 &&
         data.length == garbage.length && data.timestamp == garbage.timestamp;
}

// Steps the paused clock to the next whole millisecond.
void StepToWholeMs() { HALSIM_StepTiming(1000 - Now() % 1000); }

class PlatformCan : public ::testing::Test {
 protected:
  void SetUp() override {
    HALSIM_PauseTiming();
    halsim::ResetRecords();
  }
};

TEST_F(PlatformCan, ArbitrationIdComposition) {
  struct Case {
    int type, manufacturer, apiId, device;
    uint32_t expected;
  };
  const Case cases[] = {
      {2, 5, 0x61, 7, 0x02051847},
      {2, 5, 770, 1, 0x0205C081},
      {31, 255, 0x3FF, 63, 0x1FFFFFFF},
      {0x25, 0x105, 0x7FF, 0x7F, 0x0505FFFF},  // each field cut to its width
      {10, 8, 0, 0, 0x0A080000},
  };
  for (const Case& c : cases) {
    halsim::ClearCanTrace();
    frc::CAN can(c.device, c.manufacturer, c.type);
    const uint8_t byte = 1;
    can.WritePacket(&byte, 1, c.apiId);
    auto trace = halsim::GetCanTrace();
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0].messageID, c.expected) << c.type << " " << c.apiId;
  }
  halsim::ClearCanTrace();
  frc::CAN team(3);  // team-use manufacturer 8, type 10
  team.WritePacket(nullptr, 0, 1);
  EXPECT_EQ(halsim::GetCanTrace().at(0).messageID, 0x0A080043u);
}

TEST_F(PlatformCan, WritePacketIsTracedWithTimeAndBytes) {
  frc::CAN can(kDevice, kManufacturer, kType);
  HALSIM_StepTiming(1500);
  const uint8_t bytes[5] = {1, 2, 3, 4, 5};
  can.WritePacket(bytes, 5, kApi);
  auto trace = halsim::GetCanTraceForId(IdOf(kApi));
  ASSERT_EQ(trace.size(), 1u);
  EXPECT_EQ(trace[0].timestampUs, Now());
  EXPECT_EQ(trace[0].dataSize, 5);
  EXPECT_EQ(std::vector<uint8_t>(trace[0].data, trace[0].data + 8),
            (std::vector<uint8_t>{1, 2, 3, 4, 5, 0, 0, 0}));
  EXPECT_EQ(trace[0].periodMs, 0);
  EXPECT_TRUE(trace[0].fromRobot);
  EXPECT_EQ(can.GetError().GetCode(), 0);
}

TEST_F(PlatformCan, BadWritesSendNothingAndSetAnError) {
  frc::CAN can(kDevice, kManufacturer, kType);
  const uint8_t bytes[9] = {};
  can.WritePacket(bytes, 9, kApi);
  EXPECT_EQ(can.GetError().GetCode(), HAL_ERR_CANSessionMux_InvalidBuffer);
  can.ClearError();
  can.WritePacket(bytes, -1, kApi);
  EXPECT_EQ(can.GetError().GetCode(), HAL_ERR_CANSessionMux_InvalidBuffer);
  can.WritePacket(nullptr, 3, kApi);
  can.WritePacketRepeating(bytes, 2, kApi, -5);
  EXPECT_EQ(can.GetError().GetCode(), PARAMETER_OUT_OF_RANGE);
  int32_t status = 0;
  HAL_CAN_SendMessage(IdOf(kApi), bytes, 9, 0, &status);
  EXPECT_EQ(status, HAL_ERR_CANSessionMux_InvalidBuffer);
  HAL_CAN_SendMessage(IdOf(kApi), bytes, 2, -2, &status);
  EXPECT_EQ(status, PARAMETER_OUT_OF_RANGE);
  EXPECT_EQ(halsim::GetCanTraceSize(), 0u);
}

TEST_F(PlatformCan, ReadPacketNewReturnsEachFrameOnce) {
  frc::CAN can(kDevice, kManufacturer, kType);
  frc::CANData data = Garbage();
  EXPECT_FALSE(can.ReadPacketNew(kApi, &data));
  ExpectNoFrame(data);

  HALSIM_StepTiming(3000);
  Deliver(IdOf(kApi), {9, 8});
  Deliver(IdOf(kApi), {7, 6, 5});  // the newest replaces the older one
  data = Garbage();
  ASSERT_TRUE(can.ReadPacketNew(kApi, &data));
  EXPECT_EQ(Bytes(data), (std::vector<uint8_t>{7, 6, 5}));
  EXPECT_EQ(data.timestamp, Now() / 1000);

  data = Garbage();
  EXPECT_FALSE(can.ReadPacketNew(kApi, &data));
  ExpectNoFrame(data);
  EXPECT_FALSE(can.ReadPacketNew(kApi + 1, &data));  // another API id has nothing

  data = Garbage();
  ASSERT_TRUE(can.ReadPacketLatest(kApi, &data));  // the cached frame, read or not
  EXPECT_EQ(Bytes(data), (std::vector<uint8_t>{7, 6, 5}));
}

TEST_F(PlatformCan, EachHandleTracksItsOwnReads) {
  frc::CAN first(kDevice, kManufacturer, kType);
  frc::CAN second(kDevice, kManufacturer, kType);
  Deliver(IdOf(kApi), {1});
  frc::CANData data;
  EXPECT_TRUE(first.ReadPacketNew(kApi, &data));
  EXPECT_TRUE(second.ReadPacketNew(kApi, &data));
  EXPECT_FALSE(first.ReadPacketNew(kApi, &data));
}

TEST_F(PlatformCan, FramesOlderThanTheHandleDoNotCount) {
  Deliver(IdOf(kApi), {1, 2});
  frc::CAN can(kDevice, kManufacturer, kType);
  frc::CANData data = Garbage();
  EXPECT_FALSE(can.ReadPacketTimeout(kApi, 1, &data));
  EXPECT_TRUE(IsGarbage(data));
  EXPECT_FALSE(can.ReadPacketNew(kApi, &data));
  EXPECT_FALSE(can.ReadPacketLatest(kApi, &data));  // this handle has cached nothing
}

// The simulated device answers from inside the send callback; the read right after
// the send must see the answer without waiting.
struct Echo {
  static void OnSend(const char*, void* param, uint32_t messageID, const uint8_t* data,
                     uint8_t dataSize, int32_t periodMs, int32_t*) {
    auto* self = static_cast<Echo*>(param);
    if (periodMs != 0) return;
    self->sends++;
    std::vector<uint8_t> reply(data, data + dataSize);
    reply.push_back(0xEE);
    HALSIM_DeliverCanMessage(messageID, reply.data(), static_cast<uint8_t>(reply.size()));
  }
  std::atomic<int> sends{0};
};

TEST_F(PlatformCan, TimeoutReadSeesAReplyDeliveredInsideTheSendCallbackThenItsCache) {
  Echo echo;
  int32_t uid = HALSIM_RegisterCanSendMessageCallback(&Echo::OnSend, &echo);
  frc::CAN can(kDevice, kManufacturer, kType);
  can.WritePacket(nullptr, 0, kApi);
  frc::CANData data = Garbage();
  ASSERT_TRUE(can.ReadPacketTimeout(kApi, 5000, &data));
  EXPECT_EQ(Bytes(data), (std::vector<uint8_t>{0xEE}));
  data = Garbage();
  ASSERT_TRUE(can.ReadPacketTimeout(kApi, 1, &data));  // the cached frame, 0 ms old
  EXPECT_EQ(Bytes(data), (std::vector<uint8_t>{0xEE}));
  HALSIM_StepTiming(2000);
  EXPECT_FALSE(can.ReadPacketTimeout(kApi, 1, &data));
  HALSIM_CancelCanSendMessageCallback(uid);
  can.WritePacket(nullptr, 0, kApi);
  EXPECT_EQ(echo.sends.load(), 1);
}

TEST_F(PlatformCan, TimeoutAndPeriodicReadsNeverWait) {
  frc::CAN can(kDevice, kManufacturer, kType);
  const auto start = std::chrono::steady_clock::now();
  frc::CANData data;
  EXPECT_FALSE(can.ReadPacketTimeout(kApi, 20'000, &data));
  EXPECT_FALSE(can.ReadPeriodicPacket(kApi, 20'000, 20'000, &data));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST_F(PlatformCan, TimeoutReadWithNothingArrivingFails) {
  frc::CAN can(kDevice, kManufacturer, kType);
  Deliver(IdOf(kApi + 1), {1});  // another id does not count
  frc::CANData data = Garbage();
  EXPECT_FALSE(can.ReadPacketTimeout(kApi, 2, &data));
  EXPECT_TRUE(IsGarbage(data));
  EXPECT_FALSE(can.ReadPacketTimeout(kApi, 0, &data));
  EXPECT_FALSE(can.ReadPacketTimeout(kApi, -3, &data));
  EXPECT_FALSE(can.ReadPacketTimeout(kApi, 1, nullptr));
}

// A frame received once and then nothing new: its age in whole ms decides.
TEST_F(PlatformCan, CachedFrameIsReturnedByItsAge) {
  using K = halsim::CanReadKind;
  const struct {
    K kind;
    uint64_t ageUs;
    int32_t timeoutMs, periodMs;
    bool found;
  } cases[] = {
      {K::kNew, 0, 0, 0, false},
      {K::kLatest, 60'000'000, 0, 0, true},
      {K::kTimeout, 0, 0, 0, true},
      {K::kTimeout, 5'999, 5, 0, true},
      {K::kTimeout, 6'000, 5, 0, false},
      {K::kTimeout, 60'000'000, -1, 0, true},  // compared as a huge unsigned limit
      {K::kPeriodic, 9'999, 0, 10, true},
      {K::kPeriodic, 10'000, 0, 10, false},
      {K::kPeriodic, 10'000, 10, 10, true},  // then the timeout's limit
      {K::kPeriodic, 11'000, 10, 10, false},
  };
  uint8_t mark = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(++mark);
    frc::CAN can(kDevice, kManufacturer, kType);
    StepToWholeMs();
    Deliver(IdOf(kApi), {mark});
    const uint64_t deliveredMs = Now() / 1000;
    frc::CANData data;
    ASSERT_TRUE(can.ReadPacketNew(kApi, &data));
    HALSIM_StepTiming(c.ageUs);
    data = Garbage();
    bool found = false;
    switch (c.kind) {
      case K::kNew: found = can.ReadPacketNew(kApi, &data); break;
      case K::kLatest: found = can.ReadPacketLatest(kApi, &data); break;
      case K::kTimeout: found = can.ReadPacketTimeout(kApi, c.timeoutMs, &data); break;
      default: found = can.ReadPeriodicPacket(kApi, c.timeoutMs, c.periodMs, &data); break;
    }
    ASSERT_EQ(found, c.found);
    if (found) {
      EXPECT_EQ(Bytes(data), (std::vector<uint8_t>{mark}));
      EXPECT_EQ(data.timestamp, deliveredMs);
    } else if (c.kind != K::kNew) {
      EXPECT_TRUE(IsGarbage(data));
    }
  }
}

TEST_F(PlatformCan, PeriodicReadKeepsAYoungFrameOverANewerOne) {
  frc::CAN can(kDevice, kManufacturer, kType);
  StepToWholeMs();
  Deliver(IdOf(kApi), {1});
  frc::CANData data;
  ASSERT_TRUE(can.ReadPeriodicPacket(kApi, 0, 10, &data));
  Deliver(IdOf(kApi), {2});
  ASSERT_TRUE(can.ReadPeriodicPacket(kApi, 0, 10, &data));
  EXPECT_EQ(Bytes(data), (std::vector<uint8_t>{1}));  // not received: still younger
  HALSIM_StepTiming(10'000);
  ASSERT_TRUE(can.ReadPeriodicPacket(kApi, 0, 10, &data));
  EXPECT_EQ(Bytes(data), (std::vector<uint8_t>{2}));
}

TEST_F(PlatformCan, ReadsAreRecordedAfterCallingTheHook) {
  frc::CAN can(kDevice, kManufacturer, kType);
  std::vector<halsim::CanReadRecord> hooked;
  halsim::SetCanReadHook([&](const halsim::CanReadRecord& r) {
    hooked.push_back(r);
    if (r.kind == halsim::CanReadKind::kTimeout) Deliver(IdOf(kApi), {1});
  });
  frc::CANData data;
  can.ReadPacketNew(kApi, &data);
  can.ReadPacketTimeout(kApi, 7, &data);
  can.ReadPacketLatest(kApi + 2, &data);
  can.ReadPeriodicPacket(kApi, 11, 22, &data);
  uint32_t id = IdOf(kApi);
  uint8_t bytes[8];
  uint8_t size = 0;
  uint32_t stamp = 0;
  int32_t status = 0;
  HAL_CAN_ReceiveMessage(&id, 0x1FFFFFFF, bytes, &size, &stamp, &status);
  halsim::SetCanReadHook({});

  using K = halsim::CanReadKind;
  const auto reads = halsim::GetCanReads();
  ASSERT_EQ(reads.size(), 5u);
  ASSERT_EQ(hooked.size(), 5u);
  const struct {
    K kind;
    uint32_t id;
    int32_t timeout, period;
    bool found;
  } expected[] = {{K::kNew, IdOf(kApi), 0, 0, false},
                  {K::kTimeout, IdOf(kApi), 7, 0, true},
                  {K::kLatest, IdOf(kApi + 2), 0, 0, false},
                  {K::kPeriodic, IdOf(kApi), 11, 22, true},
                  {K::kReceiveMessage, IdOf(kApi), 0, 0, true}};
  for (size_t i = 0; i < reads.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(reads[i].kind, expected[i].kind);
    EXPECT_EQ(reads[i].messageID, expected[i].id);
    EXPECT_EQ(reads[i].timeoutMs, expected[i].timeout);
    EXPECT_EQ(reads[i].periodMs, expected[i].period);
    EXPECT_EQ(reads[i].found, expected[i].found);
    EXPECT_EQ(hooked[i].kind, expected[i].kind);
    EXPECT_FALSE(hooked[i].found);
  }
}

TEST_F(PlatformCan, ReceiveMessageMatchesUnderTheMaskAndReturnsEachFrameOnce) {
  Deliver(0x100, {1});
  HALSIM_StepTiming(2000);
  Deliver(0x101, {2});
  Deliver(0x200, {3});
  uint32_t id = 0x100;
  uint8_t bytes[8] = {};
  uint8_t size = 0;
  uint32_t stamp = 0;
  int32_t status = 0;
  HAL_CAN_ReceiveMessage(&id, 0xF00, bytes, &size, &stamp, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(id, 0x101u);  // the newest match
  EXPECT_EQ(size, 1);
  EXPECT_EQ(bytes[0], 2);
  EXPECT_EQ(stamp, static_cast<uint32_t>(Now() / 1000));

  id = 0x100;
  HAL_CAN_ReceiveMessage(&id, 0xF00, bytes, &size, &stamp, &status);
  EXPECT_EQ(status, HAL_ERR_CANSessionMux_MessageNotFound);
  EXPECT_EQ(size, 0);

  id = 0x100;  // exact match: a different session key, so 0x100 is still new
  HAL_CAN_ReceiveMessage(&id, 0x1FFFFFFF, bytes, &size, &stamp, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(bytes[0], 1);

  HAL_CAN_ReceiveMessage(nullptr, 0, bytes, &size, &stamp, &status);
  EXPECT_EQ(status, HAL_ERR_CANSessionMux_InvalidBuffer);
}

TEST_F(PlatformCan, DeliveriesAreCutToEightBytesAndTraced) {
  const uint8_t bytes[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  HALSIM_DeliverCanMessage(0x55, bytes, 12);
  HALSIM_DeliverCanMessage(0x56, nullptr, 3);  // no data: zero bytes
  auto trace = halsim::GetCanTrace();
  ASSERT_EQ(trace.size(), 2u);
  EXPECT_FALSE(trace[0].fromRobot);
  EXPECT_EQ(trace[0].dataSize, 8);
  EXPECT_EQ(trace[0].data[7], 8);
  EXPECT_EQ(trace[1].dataSize, 3);
  EXPECT_EQ(trace[1].data[0], 0);
  EXPECT_TRUE(halsim::GetCanTraceForId(0x55).empty());  // only robot frames by id
}

struct FrameLog {
  static void OnFrame(void* param, uint64_t timestampUs, uint32_t messageID, const uint8_t* data,
                      uint8_t dataSize, int32_t periodMs, HAL_Bool fromRobot) {
    auto* log = static_cast<FrameLog*>(param);
    ASSERT_NE(data, nullptr);
    log->frames.push_back({timestampUs, messageID, dataSize, periodMs, fromRobot != 0});
  }
  static void OnSend(const char* name, void* param, uint32_t messageID, const uint8_t* data,
                     uint8_t dataSize, int32_t periodMs, int32_t*) {
    auto* log = static_cast<FrameLog*>(param);
    ASSERT_NE(data, nullptr);
    EXPECT_STREQ(name, "CAN");
    log->frames.push_back({0, messageID, dataSize, periodMs, true});
  }
  struct Entry {
    uint64_t timestampUs;
    uint32_t id;
    uint8_t size;
    int32_t periodMs;
    bool fromRobot;
  };
  std::vector<Entry> frames;
};

TEST_F(PlatformCan, ObserversSeeEveryFrameUntilCancelled) {
  FrameLog frameLog;
  FrameLog sendLog;
  const int32_t frameUid = HALSIM_RegisterCanFrameCallback(&FrameLog::OnFrame, &frameLog);
  const int32_t sendUid = HALSIM_RegisterCanSendMessageCallback(&FrameLog::OnSend, &sendLog);
  EXPECT_NE(frameUid, sendUid);
  EXPECT_EQ(HALSIM_RegisterCanFrameCallback(nullptr, nullptr), 0);
  const uint8_t bytes[2] = {1, 2};
  int32_t status = 0;
  HAL_CAN_SendMessage(0x10, bytes, 2, 0, &status);
  HAL_CAN_SendMessage(0x10, nullptr, 0, HAL_CAN_SEND_PERIOD_STOP_REPEATING, &status);
  EXPECT_EQ(status, 0);
  HALSIM_DeliverCanMessage(0x20, bytes, 1);

  ASSERT_EQ(frameLog.frames.size(), 3u);
  EXPECT_TRUE(frameLog.frames[0].fromRobot);
  EXPECT_EQ(frameLog.frames[1].periodMs, -1);
  EXPECT_EQ(frameLog.frames[1].size, 0);
  EXPECT_FALSE(frameLog.frames[2].fromRobot);
  EXPECT_EQ(frameLog.frames[2].id, 0x20u);
  ASSERT_EQ(sendLog.frames.size(), 2u);  // robot sends only
  EXPECT_EQ(sendLog.frames[1].periodMs, -1);

  HALSIM_CancelCanFrameCallback(frameUid);
  HALSIM_CancelCanSendMessageCallback(sendUid);
  HAL_CAN_SendMessage(0x10, bytes, 2, 0, &status);
  HALSIM_DeliverCanMessage(0x20, bytes, 1);
  EXPECT_EQ(frameLog.frames.size(), 3u);
  EXPECT_EQ(sendLog.frames.size(), 2u);
}

std::vector<uint64_t> TimesOf(uint32_t id) {
  std::vector<uint64_t> times;
  for (const auto& record : halsim::GetCanTraceForId(id)) times.push_back(record.timestampUs);
  return times;
}

TEST_F(PlatformCan, RepeatingSendsFollowTheSteppedClockUntilStopped) {
  const uint64_t start = Now();
  const uint8_t fast[1] = {1};
  const uint8_t slow[1] = {2};
  int32_t status = 0;
  HAL_CAN_SendMessage(0x31, fast, 1, 10, &status);
  HAL_CAN_SendMessage(0x32, slow, 1, 25, &status);
  HALSIM_StepTiming(50'000);
  EXPECT_EQ(TimesOf(0x31), (std::vector<uint64_t>{start, start + 10'000, start + 20'000,
                                                  start + 30'000, start + 40'000, start + 50'000}));
  EXPECT_EQ(TimesOf(0x32), (std::vector<uint64_t>{start, start + 25'000, start + 50'000}));
  for (const auto& record : halsim::GetCanTraceForId(0x32)) {
    EXPECT_EQ(record.periodMs, 25);
    EXPECT_EQ(record.data[0], 2);
  }

  const uint8_t replaced[1] = {7};
  HAL_CAN_SendMessage(0x31, replaced, 1, 20, &status);  // new content and period
  HAL_CAN_SendMessage(0x32, nullptr, 0, HAL_CAN_SEND_PERIOD_STOP_REPEATING, &status);
  halsim::ClearCanTrace();
  HALSIM_StepTiming(40'000);
  EXPECT_EQ(TimesOf(0x31), (std::vector<uint64_t>{start + 70'000, start + 90'000}));
  EXPECT_EQ(halsim::GetCanTraceForId(0x31).at(0).data[0], 7);
  // Only the stop call itself is traced for the stopped id.
  EXPECT_TRUE(TimesOf(0x32).empty());
  HAL_CAN_SendMessage(0x31, nullptr, 0, HAL_CAN_SEND_PERIOD_STOP_REPEATING, &status);
}

TEST_F(PlatformCan, TraceCanBeSwitchedOff) {
  halsim::SetCanTraceEnabled(false);
  Deliver(0x1, {1});
  EXPECT_EQ(halsim::GetCanTraceSize(), 0u);
  halsim::SetCanTraceEnabled(true);
  Deliver(0x1, {1});
  EXPECT_EQ(halsim::GetCanTraceSize(), 1u);
}

TEST_F(PlatformCan, MovedHandleKeepsWorkingAndIsClosedOnce) {
  frc::CAN original(kDevice, kManufacturer, kType);
  frc::CAN moved(std::move(original));
  Deliver(IdOf(kApi), {5});
  frc::CANData data;
  EXPECT_TRUE(moved.ReadPacketNew(kApi, &data));
  frc::CAN assigned(1, kManufacturer, kType);
  assigned = std::move(moved);
  Deliver(IdOf(kApi), {6});
  EXPECT_TRUE(assigned.ReadPacketNew(kApi, &data));
  EXPECT_EQ(data.data[0], 6);
  // NOLINTNEXTLINE(bugprone-use-after-move): the moved-from state is what is checked
  EXPECT_FALSE(original.ReadPacketNew(kApi, &data));  // moved-from: no handle
}

TEST_F(PlatformCan, ConcurrentReadersAndDevicesAreSafe) {
  frc::CAN can(kDevice, kManufacturer, kType);
  std::atomic<int> found{0};
  std::vector<std::thread> threads;
  threads.reserve(3);
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        Deliver(IdOf(kApi + t), {static_cast<uint8_t>(i)});
        frc::CANData data;
        if (can.ReadPacketTimeout(kApi + t, 5, &data)) found++;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(found.load(), 600);
}

}  // namespace
