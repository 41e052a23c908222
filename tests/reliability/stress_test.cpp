// Stress: eight threads use the robot-side entry points of the driver and the
// device library at once (setpoint stores, period changes, registering and
// unregistering, bad device numbers, repeated starts, device objects built,
// driven and destroyed) while the test steps the clock through ten seconds.
// A send callback checks every frame as it goes out:
//  - each stored setpoint is numbered k and all four of its fields derive from
//    k, so a frame mixing two stores is caught;
//  - per device the numbers never go back (nothing older follows something newer);
//  - no setpoint frame goes to device 0 or 63, and the heartbeat never carries
//    bit 0 or 63.
// Afterwards every device keeps receiving exactly the last setpoint stored for
// it. Run in the TSan build it also shows the whole exchange free of races.
#include <array>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <thread>
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
using MotorType = zem::CANTavrixLowLevel::MotorType;

constexpr int kWriterThreads = 4;
constexpr int kNumberedDevices = 32;                     // 1..32 receive numbered setpoints
constexpr std::array<int, 2> kObjectDevices = {50, 51};  // driven through CANTavrix objects
constexpr int kTableSlots = 64;
constexpr uint64_t kStressSpanUs = 10000000;
constexpr uint64_t kStepUs = 5000;
constexpr uint64_t kSettleUs = 150000;
constexpr uint64_t kTailUs = 100000;
constexpr int32_t kTailPeriodMs = 10;
constexpr uint32_t kLargestNumber = (1u << 24) - 1;  // exact as a float
// Writers store flat out, so that the sender often reads a slot mid-store;
// the other threads give the core up often, so that stepping keeps its pace.
constexpr int kWriterOpsPerYield = 4096;
constexpr int kOtherOpsPerYield = 8;
constexpr uint64_t kForbiddenRegistryBits = 1u | (uint64_t{1} << 63);
constexpr std::array<int32_t, 6> kBadDeviceNumbers = {0, 63, -1, 64, INT_MIN, INT_MAX};
constexpr std::array<int32_t, 14> kStressPeriodsMs = {1, 10, 1,  5,  20,    0,       1,
                                                      7, 1,  50, -1, 70000, INT_MAX, 3};

// ---------------------------------------------------------------------------
// Numbered setpoints
// ---------------------------------------------------------------------------

struct NumberedSetpoint {
  float value;
  int32_t apiId;
  uint8_t pidSlot;
  int16_t aux;
};

NumberedSetpoint Numbered(uint32_t k) {
  return NumberedSetpoint{static_cast<float>(k),
                          wire::kSetpointApiIds[k % wire::kSetpointApiIds.size()],
                          static_cast<uint8_t>(k % 251), static_cast<int16_t>(k % 32749)};
}

bool IsSetpointApi(int32_t apiId) { return wire::IsSetpointSenderApi(apiId); }

// The number a numbered-device frame carries, when all its fields agree. A
// slot never filled (API id 0, zeros) counts as number 0.
std::optional<uint32_t> NumberOf(int32_t apiId, const uint8_t* data, uint8_t size) {
  if (size != sizeof(wire::Payload)) return std::nullopt;
  const wire::Setpoint sp = wire::DecodeSetpoint(data, size);
  if (!(sp.value >= 0.0f) || sp.value > static_cast<float>(kLargestNumber) ||
      std::trunc(sp.value) != sp.value) {
    return std::nullopt;
  }
  const auto k = static_cast<uint32_t>(sp.value);
  const NumberedSetpoint expected = Numbered(k);
  const bool neverFilled =
      apiId == wire::api::kSetpointNeverFilled && k == 0 && sp.aux == 0 && sp.pidSlot == 0;
  const bool agrees =
      apiId == expected.apiId && sp.pidSlot == expected.pidSlot && sp.aux == expected.aux;
  if ((!agrees && !neverFilled) || data[7] != 0) return std::nullopt;
  return k;
}

// A frame of a device driven by CANTavrix::Set: control type 0, slot 0, no
// auxiliary word (or the never-filled zeros).
bool IsDutyCycleFrame(int32_t apiId, const uint8_t* data, uint8_t size) {
  if (size != sizeof(wire::Payload) || data[7] != 0) return false;
  const wire::Setpoint sp = wire::DecodeSetpoint(data, size);
  if (sp.aux != 0 || sp.pidSlot != 0) return false;
  if (apiId == wire::api::kSetpointNeverFilled) return sp.value == 0.0f;
  return apiId == wire::kSetpointApiIds[0] && std::fabs(sp.value) <= 1.0f;
}

// ---------------------------------------------------------------------------
// The frame checker
// ---------------------------------------------------------------------------

class FrameChecker {
 public:
  FrameChecker() { uid_ = HALSIM_RegisterCanSendMessageCallback(&OnSend, this); }
  ~FrameChecker() { HALSIM_CancelCanSendMessageCallback(uid_); }
  FrameChecker(const FrameChecker&) = delete;
  FrameChecker& operator=(const FrameChecker&) = delete;

  // From now on every numbered device's frames must carry `expected[d]`.
  void ExpectOnly(const std::array<uint32_t, kTableSlots>& expected) {
    for (size_t d = 0; d < expected.size(); ++d) expectedNumber_[d] = expected[d];
    tailMode_ = true;
  }

  std::atomic<uint64_t> numberedFrames{0};
  std::atomic<uint64_t> objectFrames{0};
  std::atomic<uint64_t> inconsistent{0};
  std::atomic<uint64_t> wentBack{0};
  std::atomic<uint64_t> toDevice0Or63{0};
  std::atomic<uint64_t> unexpectedDevice{0};
  std::atomic<uint64_t> badHeartbeats{0};
  std::atomic<uint64_t> tailMismatches{0};
  std::array<std::atomic<uint64_t>, kTableSlots> tailFrames{};

 private:
  static void OnSend(const char* /*name*/, void* param, uint32_t messageID, const uint8_t* data,
                     uint8_t size, int32_t periodMs, int32_t* /*status*/) {
    if (periodMs < 0 || !wire::IsControllerId(messageID)) return;
    static_cast<FrameChecker*>(param)->Check(messageID, data, size);
  }

  void Check(uint32_t messageID, const uint8_t* data, uint8_t size) {
    if (messageID == wire::kHeartbeatId) {
      if ((wire::DecodeHeartbeat(data, size) & kForbiddenRegistryBits) != 0) ++badHeartbeats;
      return;
    }
    const int32_t apiId = wire::ApiOf(messageID);
    if (!IsSetpointApi(apiId)) return;  // the device objects' own commands
    const int32_t device = wire::DeviceOf(messageID);
    if (device == 0 || device == 63) {
      ++toDevice0Or63;
    } else if (device <= kNumberedDevices) {
      CheckNumbered(static_cast<size_t>(device), apiId, data, size);
    } else if (device == kObjectDevices[0] || device == kObjectDevices[1]) {
      ++objectFrames;
      if (!IsDutyCycleFrame(apiId, data, size)) ++inconsistent;
    } else {
      ++unexpectedDevice;
    }
  }

  void CheckNumbered(size_t device, int32_t apiId, const uint8_t* data, uint8_t size) {
    ++numberedFrames;
    const std::optional<uint32_t> k = NumberOf(apiId, data, size);
    if (!k) {
      ++inconsistent;
      return;
    }
    if (*k < lastNumber_[device].load(std::memory_order_relaxed)) ++wentBack;
    lastNumber_[device].store(*k, std::memory_order_relaxed);
    if (tailMode_.load()) {
      ++tailFrames[device];
      if (*k != expectedNumber_[device].load()) ++tailMismatches;
    }
  }

  int32_t uid_ = 0;
  std::array<std::atomic<uint32_t>, kTableSlots> lastNumber_{};
  std::array<std::atomic<uint32_t>, kTableSlots> expectedNumber_{};
  std::atomic<bool> tailMode_{false};
};

// ---------------------------------------------------------------------------
// The eight threads
// ---------------------------------------------------------------------------

class Workers {
 public:
  Workers() {
    for (int w = 0; w < kWriterThreads; ++w)
      threads_.emplace_back([this, w] { StoreSetpoints(w); });
    threads_.emplace_back([this] { ChangePeriods(); });
    threads_.emplace_back([this] { ToggleRegistration(); });
    threads_.emplace_back([this] { BuildAndDriveDeviceObjects(); });
    threads_.emplace_back([this] { UseBadNumbersAndRestart(); });
  }
  ~Workers() { Stop(); }
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  void Stop() {
    done_ = true;
    for (std::thread& t : threads_) {
      if (t.joinable()) t.join();
    }
  }
  // Read after Stop: the number last stored per device (0 if none).
  const std::array<uint32_t, kTableSlots>& LastStored() const { return lastStored_; }
  uint64_t Stores() const { return stores_; }
  uint64_t DeviceObjectsBuilt() const { return objectsBuilt_; }
  bool StartResultsAsDocumented() const { return startResultsOk_; }

 private:
  bool Running(int& ops, int opsPerYield = kOtherOpsPerYield) {
    if (++ops % opsPerYield == 0) std::this_thread::yield();
    return !done_.load(std::memory_order_relaxed);
  }

  // Writer w owns the devices d with (d - 1) % 4 == w, so "last stored" is defined.
  void StoreSetpoints(int w) {
    uint32_t k = 0;
    int ops = 0;
    for (int d = 1 + w; Running(ops, kWriterOpsPerYield) && k < kLargestNumber;
         d += kWriterThreads) {
      if (d > kNumberedDevices) d = 1 + w;
      const NumberedSetpoint s = Numbered(++k);
      ZEM_CANTavrixSetDriverSet4(d, s.value, s.apiId, s.pidSlot, s.aux);
      lastStored_[static_cast<size_t>(d)] = k;
      stores_.fetch_add(1, std::memory_order_relaxed);
    }
  }

  void ChangePeriods() {
    int ops = 0;
    for (size_t i = 0; Running(ops); ++i) {
      const auto device = static_cast<int32_t>(1 + i % kNumberedDevices);
      ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(device,
                                                 kStressPeriodsMs[i % kStressPeriodsMs.size()]);
    }
  }

  void ToggleRegistration() {
    int ops = 0;
    for (int i = 0; Running(ops); ++i) {
      const int32_t device = 1 + (i * 7) % kNumberedDevices;
      if (i % 2 == 0) {
        ZEM_CANTavrixUnregisterDevice(device);
      } else {
        ZEM_CANTavrixRegisterDevice(device);
      }
    }
  }

  void BuildAndDriveDeviceObjects() {
    int ops = 0;
    for (int i = 0; Running(ops); ++i) {
      zem::CANTavrix motor(kObjectDevices[static_cast<size_t>(i) % kObjectDevices.size()],
                           MotorType::kMotorKind1);
      motor.Set(0.5);
      motor.SetInverted(i % 2 == 0);
      motor.Set(-0.25);
      objectsBuilt_.fetch_add(1, std::memory_order_relaxed);
    }
  }

  void UseBadNumbersAndRestart() {
    int ops = 0;
    for (size_t i = 0; Running(ops); ++i) {
      const int32_t bad = kBadDeviceNumbers[i % kBadDeviceNumbers.size()];
      ZEM_CANTavrixSetDriverSet4(bad, 1.0f, 18, 1, 1);
      ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(bad, 1);
      ZEM_CANTavrixRegisterDevice(bad);
      ZEM_CANTavrixUnregisterDevice(bad);
      if (ZEM_CANTavrixRunHeartbeat() != 1 || ZEM_CANTavrixRunSetDriver() != 0) {
        startResultsOk_ = false;
      }
    }
  }

  std::atomic<bool> done_{false};
  std::vector<std::thread> threads_;
  std::array<uint32_t, kTableSlots> lastStored_{};
  std::atomic<uint64_t> stores_{0};
  std::atomic<uint64_t> objectsBuilt_{0};
  std::atomic<bool> startResultsOk_{true};
};

// The driver's threads started first, then one device object built, so that
// the device library's start-up thread (whose sweep sends zeros to devices
// 0..62) has ended before the checker listens.
bool StartDriverThroughADeviceObject() {
  tavrix_test::StartDriverThreads();
  tavrix::sim::SimController controller(kObjectDevices[0]);
  zem::CANTavrix first(kObjectDevices[0], MotorType::kMotorKind1);
  return tavrix_test::WaitForStartupThreadToEnd();
}

TEST(ReliabilityStress, EightThreadsForTenSteppedSeconds) {
  HALSIM_PauseTiming();
  halsim::SetCanTraceEnabled(false);  // millions of frames; the checker sees each one
  HALSIM_SetDriverStationEnabled(1);
  ASSERT_TRUE(StartDriverThroughADeviceObject()) << "the start-up thread did not end";
  std::vector<std::unique_ptr<tavrix::sim::SimController>> controllers;
  controllers.reserve(kObjectDevices.size());
  for (int device : kObjectDevices) {
    controllers.push_back(std::make_unique<tavrix::sim::SimController>(device));
  }

  FrameChecker checker;
  Workers workers;
  for (uint64_t elapsed = 0; elapsed < kStressSpanUs; elapsed += kStepUs)
    HALSIM_StepTiming(kStepUs);
  workers.Stop();

  // Every numbered device served again at 10 ms: each must now keep
  // receiving exactly the last setpoint stored for it.
  for (int d = 1; d <= kNumberedDevices; ++d) {
    ZEM_CANTavrixRegisterDevice(d);
    ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(d, kTailPeriodMs);
  }
  HALSIM_StepTiming(kSettleUs);
  checker.ExpectOnly(workers.LastStored());
  HALSIM_StepTiming(kTailUs);

  std::printf("stress: %llu stores, %llu device objects, %llu numbered and %llu object frames\n",
              static_cast<unsigned long long>(workers.Stores()),
              static_cast<unsigned long long>(workers.DeviceObjectsBuilt()),
              static_cast<unsigned long long>(checker.numberedFrames.load()),
              static_cast<unsigned long long>(checker.objectFrames.load()));
  EXPECT_EQ(checker.inconsistent.load(), 0u) << "a frame mixed two stores";
  EXPECT_EQ(checker.wentBack.load(), 0u) << "an older setpoint followed a newer one";
  EXPECT_EQ(checker.toDevice0Or63.load(), 0u);
  EXPECT_EQ(checker.unexpectedDevice.load(), 0u);
  EXPECT_EQ(checker.badHeartbeats.load(), 0u);
  EXPECT_EQ(checker.tailMismatches.load(), 0u) << "a device did not keep its last setpoint";
  for (int d = 1; d <= kNumberedDevices; ++d) {
    EXPECT_GE(checker.tailFrames[static_cast<size_t>(d)].load(), kTailUs / 10000 - 1)
        << "device " << d;
  }
  EXPECT_TRUE(workers.StartResultsAsDocumented());
  // The run did what it claims.
  EXPECT_GT(workers.Stores(), 10000u);
  EXPECT_GT(workers.DeviceObjectsBuilt(), 10u);
  EXPECT_GT(checker.numberedFrames.load(), 1000u);
  EXPECT_GT(checker.objectFrames.load(), 100u);
}

}  // namespace
