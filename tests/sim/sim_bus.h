// The robot side of the simulated bus for the simulated controller's tests:
// raw frames out, deliveries read back from the bus trace, time stepped by hand.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "bus_trace.h"
#include "hal/CAN.h"
#include "hal/simulation/MockHooks.h"
#include "hal/simulation/SimRecords.h"
#include "tavrix/Wire.h"
#include "tavrix/sim/SimController.h"

namespace simtest {

namespace wire = zem::wire;
namespace api = zem::wire::api;

constexpr int kDevice = 3;
constexpr uint64_t kUsPerMs = 1000;

inline void Send(int device, int apiId, const uint8_t* data, int length, int32_t periodMs = 0) {
  int32_t status = 0;
  HAL_CAN_SendMessage(wire::ComposeId(device, apiId), data, static_cast<uint8_t>(length), periodMs,
                      &status);
}
template <size_t N>
void Send(int device, int apiId, const std::array<uint8_t, N>& payload) {
  Send(device, apiId, payload.data(), static_cast<int>(N));
}
inline void SendEmpty(int device, int apiId) { Send(device, apiId, nullptr, 0); }

inline void SendHeartbeat(uint64_t registryWord) {
  const wire::Payload p = wire::EncodeHeartbeat(registryWord);
  int32_t status = 0;
  HAL_CAN_SendMessage(wire::kHeartbeatId, p.data(), 8, 0, &status);
}

inline void SendSetpoint(int device, int apiId, float value, uint8_t slot = 0) {
  Send(device, apiId, wire::EncodeSetpoint(wire::Setpoint{value, 0, slot}));
}

inline void SendParameter(int device, int parameterId, uint32_t word, uint8_t typeCode) {
  Send(device, wire::ParameterApiId(parameterId), wire::EncodeValueFrame(word, typeCode));
}
inline void SendFloatParameter(int device, int parameterId, float value) {
  SendParameter(device, parameterId, wire::FloatBits(value), wire::type::kFloat32);
}

// Frames that the devices delivered on this device's API id, oldest first.
inline std::vector<halsim::CanFrameRecord> Delivered(int device, int apiId) {
  return tavrix_test::DeliveredFrames(device, apiId);
}
inline std::optional<halsim::CanFrameRecord> LastDelivered(int device, int apiId) {
  const std::vector<halsim::CanFrameRecord> all = Delivered(device, apiId);
  if (all.empty()) return std::nullopt;
  return all.back();
}

inline void StepMs(uint64_t ms) { HALSIM_StepTiming(ms * kUsPerMs); }

// Steps the clock in 20 ms pieces with an enabling heartbeat before each.
inline void RunEnabled(uint64_t ms, uint64_t registryWord = 1ull << kDevice) {
  constexpr uint64_t kPieceMs = 20;
  for (uint64_t done = 0; done < ms; done += kPieceMs) {
    SendHeartbeat(registryWord);
    StepMs(ms - done < kPieceMs ? ms - done : kPieceMs);
  }
}

// Every test starts with the clock paused and an empty trace.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HALSIM_PauseTiming();
    halsim::ClearCanTrace();
  }
};

}  // namespace simtest
