// Test support for the motor-controller object tests: one device's parameter
// writes read back from the bus trace, raw status frames, and the fixtures
// that have the driver's threads running before the clock is stepped (the
// trace queries and the start-up watch are in tests/support).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>
#include <hal/simulation/MockHooks.h>
#include <hal/simulation/SimRecords.h>

#include "bus_trace.h"
#include "driver_startup.h"
#include "tavrix/CANTavrix.h"
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
inline ParamWrite FloatWrite(int32_t id, float v) {
  return {id, wire::FloatBits(v), wire::type::kFloat32};
}
inline ParamWrite U32Write(int32_t id, uint32_t v) { return {id, v, wire::type::kUint32}; }
inline ParamWrite I32Write(int32_t id, uint32_t v) { return {id, v, wire::type::kInt32}; }
inline ParamWrite BoolWrite(int32_t id, bool v) { return {id, v ? 1u : 0u, wire::type::kBool}; }

inline Bytes PayloadOf(const halsim::CanFrameRecord& f) {
  return Bytes(f.data, f.data + f.dataSize);
}

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
    device = std::make_unique<zem::CANTavrix>(deviceNumber_,
                                              zem::CANTavrixLowLevel::MotorType::kMotorKind1);
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
