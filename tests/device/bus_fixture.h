// Test support for the motor-controller object tests: the bus trace read back
// as one device's frames and parameter writes, raw status frames, and a way
// to have the driver's threads running before the clock is stepped.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>
#include <hal/simulation/CanData.h>
#include <hal/simulation/MockHooks.h>
#include <hal/simulation/SimRecords.h>

#include "WallClock.h"
#include "tavrix/CANTavrix.h"
#include "tavrix/TavrixDriver.h"
#include "tavrix/Wire.h"
#include "tavrix/sim/SimController.h"

namespace tavrix_test {

namespace wire = zem::wire;
using Bytes = std::vector<uint8_t>;

// One parameter write as it went over the bus.
struct ParamWrite {
  int32_t id;
  uint32_t word;
  uint8_t type;
  bool operator==(const ParamWrite& o) const {
    return id == o.id && word == o.word && type == o.type;
  }
};
inline ParamWrite FloatWrite(int32_t id, float v) { return {id, wire::FloatBits(v), wire::type::kFloat32}; }
inline ParamWrite U32Write(int32_t id, uint32_t v) { return {id, v, wire::type::kUint32}; }
inline ParamWrite I32Write(int32_t id, uint32_t v) { return {id, v, wire::type::kInt32}; }
inline ParamWrite BoolWrite(int32_t id, bool v) { return {id, v ? 1u : 0u, wire::type::kBool}; }

// Robot-sent frames of one device (optionally of one API id), in bus order.
inline std::vector<halsim::CanFrameRecord> RobotFrames(int32_t device, int32_t apiId = -1) {
  std::vector<halsim::CanFrameRecord> out;
  for (const auto& f : halsim::GetCanTrace()) {
    if (f.fromRobot && wire::IsControllerId(f.messageID) && wire::DeviceOf(f.messageID) == device &&
        (apiId < 0 || wire::ApiOf(f.messageID) == apiId)) {
      out.push_back(f);
    }
  }
  return out;
}

inline Bytes PayloadOf(const halsim::CanFrameRecord& f) { return Bytes(f.data, f.data + f.dataSize); }

// The parameter writes of one device.
inline std::vector<ParamWrite> ParamWrites(int32_t device) {
  std::vector<ParamWrite> out;
  for (const auto& f : RobotFrames(device)) {
    const int32_t api = wire::ApiOf(f.messageID);
    if (wire::IsParameterApi(api) && f.dataSize == wire::kValueFrameLength) {
      const auto v = wire::DecodeValueFrame(f.data, f.dataSize);
      out.push_back({wire::ParameterIdOf(api), v.word, v.type});
    }
  }
  return out;
}

// The ids of one device's parameter read requests (empty frames).
inline std::vector<int32_t> ParamReads(int32_t device) {
  std::vector<int32_t> out;
  for (const auto& f : RobotFrames(device)) {
    const int32_t api = wire::ApiOf(f.messageID);
    if (wire::IsParameterApi(api) && f.dataSize == 0) out.push_back(wire::ParameterIdOf(api));
  }
  return out;
}

// Status reads keep a frame younger than its period instead of receiving a
// newer one, so the clock first steps past the longest default period.
constexpr uint64_t kPastStatusPeriodsUs = 50'000;

inline void DeliverStatus(int32_t device, int32_t apiId, const wire::Payload& payload) {
  HALSIM_StepTiming(kPastStatusPeriodsUs);
  HALSIM_DeliverCanMessage(wire::ComposeId(device, apiId), payload.data(),
                           static_cast<uint8_t>(payload.size()));
}

// The device library's start-up thread sweeps every setpoint id and then
// starts the driver's threads. StartThreads waits for the sweep's last call,
// starts the threads itself (which does nothing when they run already), then
// steps the clock until the setpoint thread has served each given device, so
// that from then on every step finds the thread parked and the device served
// at its period. A device registered after the thread's last scan is first
// served within the thread's idle wake. The waits are for events; their wall
// bounds only turn a broken driver into a failure instead of a hang.
class DriverStartup {
 public:
  // Call before the first device of the process is constructed.
  static void Watch() { GetState(); }

  static void StartThreads(std::initializer_list<int32_t> devices) {
    State& st = GetState();
    // Paused, the start-up thread makes its moves only inside a step.
    if (HALSIM_IsTimingPaused()) HALSIM_StepTiming(0);
    std::unique_lock<std::mutex> lock(st.mutex);
    ASSERT_TRUE(st.cond.wait_for(lock, tavrix_test::WallBound(std::chrono::seconds(20)), [&] { return st.swept; }))
        << "the start-up sweep did not end";
    lock.unlock();
    ZEM_CANTavrixRunHeartbeat();
    ZEM_CANTavrixRunSetDriver();
    const auto allServed = [&] {
      for (const int32_t d : devices) {
        if (st.served[static_cast<size_t>(d & 63)] == 0) return false;
      }
      return true;
    };
    constexpr int kMaxSteps = 2 * static_cast<int>(wire::kSetpointIdleWakeUs / kStepUs);
    for (int step = 0; step < kMaxSteps; ++step) {
      lock.lock();
      // A thread that is still starting gets a moment to make its first pass.
      const bool served = st.cond.wait_for(lock, tavrix_test::WallBound(std::chrono::milliseconds(5)), allServed);
      lock.unlock();
      if (served) return;
      HALSIM_StepTiming(kStepUs);
    }
    FAIL() << "the setpoint thread did not serve the devices";
  }

 private:
  static constexpr uint64_t kStepUs = 10000;
  struct State {
    std::mutex mutex;
    std::condition_variable cond;
    bool swept = false;
    std::array<uint64_t, 64> served{};  // setpoint frames after the sweep, per device
  };
  // Never destroyed: the callback may run until process exit.
  static State& GetState() {
    static State* state = [] {
      auto* st = new State;
      HALSIM_RegisterCanFrameCallback(&DriverStartup::OnFrame, st);
      return st;
    }();
    return *state;
  }
  static void OnFrame(void* param, uint64_t, uint32_t id, const uint8_t*, uint8_t size,
                      int32_t periodMs, HAL_Bool fromRobot) {
    if (!fromRobot || !wire::IsControllerId(id)) return;
    auto* st = static_cast<State*>(param);
    {
      std::lock_guard<std::mutex> lock(st->mutex);
      // The sweep ends by stopping the repetition of API id 19 of device 62.
      if (periodMs < 0 && id == wire::ComposeId(62, 19)) st->swept = true;
      const int32_t api = wire::ApiOf(id);
      const bool setpointApi = wire::IsSetpointSenderApi(api);
      if (st->swept && setpointApi && size == 8) ++st->served[static_cast<size_t>(wire::DeviceOf(id))];
    }
    st->cond.notify_all();
  }
};

// Pauses the clock and watches for the driver's start before any device exists.
class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HALSIM_PauseTiming();
    DriverStartup::Watch();
  }
  static void ClearBus() {
    halsim::ClearCanTrace();
    halsim::ClearCanReads();
  }
};

// A CANTavrix on a simulated controller whose status frames come from the
// test (the controller's own are stopped).
class SimDeviceTest : public DeviceTest {
 protected:
  explicit SimDeviceTest(int32_t deviceNumber) : deviceNumber_(deviceNumber) {}
  void SetUp() override {
    DeviceTest::SetUp();
    sim = std::make_unique<tavrix::sim::SimController>(deviceNumber_);
    SetFaults(false);
    device = std::make_unique<zem::CANTavrix>(
        deviceNumber_, zem::CANTavrixLowLevel::MotorType::kMotorKind1);
  }
  // silent: no replies either.
  void SetFaults(bool silent) {
    tavrix::sim::BusFaults faults;
    faults.statusFramesStopped = true;
    faults.silent = silent;
    sim->SetBusFaults(faults);
  }
  std::unique_ptr<tavrix::sim::SimController> sim;
  std::unique_ptr<zem::CANTavrix> device;

 private:
  int32_t deviceNumber_;
};

}  // namespace tavrix_test
