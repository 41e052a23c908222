// Fuzzes the simulated controller's frame handler: a fresh controller for
// device 5 on the simulated bus, with time paused, is fed a sequence of frames
// from the input, as the robot side sends them (commands, parameters,
// heartbeats, arbitrary ids with flag bits) and as other devices deliver them
// (leader status frames), interleaved with clock steps that run its control
// loop and status frames. Whatever it is sent, its applied output stays a
// finite duty cycle within -1..1.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "hal/CAN.h"
#include "hal/simulation/CanData.h"
#include "hal/simulation/DriverStationData.h"
#include "hal/simulation/MockHooks.h"
#include "hal/simulation/SimRecords.h"
#include "tavrix/Wire.h"
#include "tavrix/sim/SimController.h"

namespace {

namespace wire = zem::wire;

constexpr int kDevice = 5;
constexpr uint64_t kUsPerMs = 1000;

enum class Op : uint8_t { kCommand, kHeartbeat, kRawRobotFrame, kDeviceFrame, kStep, kCount };

// Reads the input front to back; past its end every read gives zeros.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Done() const { return pos_ >= size_; }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint32_t Word() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
    return v;
  }
  // A payload of up to 15 bytes (the bus refuses more than 8) copied out.
  uint8_t Payload(uint8_t out[16]) {
    const uint8_t length = Byte() & 0x0F;
    for (uint8_t i = 0; i < length; ++i) out[i] = Byte();
    return length;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

void SendFromRobot(uint32_t id, Input& in) {
  uint8_t data[16] = {};
  const uint8_t length = in.Payload(data);
  int32_t status = 0;
  HAL_CAN_SendMessage(id, data, length, HAL_CAN_SEND_PERIOD_NO_REPEAT, &status);
}

void RunOne(Input& in) {
  switch (static_cast<Op>(in.Byte() % static_cast<uint8_t>(Op::kCount))) {
    case Op::kCommand: {
      const uint32_t api = (static_cast<uint32_t>(in.Byte()) << 8 | in.Byte()) & wire::kApiMask;
      SendFromRobot(wire::ComposeId(kDevice, static_cast<int32_t>(api)), in);
      break;
    }
    case Op::kHeartbeat: SendFromRobot(wire::kHeartbeatId, in); break;
    case Op::kRawRobotFrame: SendFromRobot(in.Word(), in); break;
    case Op::kDeviceFrame: {
      const uint32_t id = in.Byte() < 128 ? wire::kStatus0LeaderFrameId : in.Word();
      uint8_t data[16] = {};
      const uint8_t length = in.Payload(data);
      HALSIM_DeliverCanMessage(id, data, length);
      break;
    }
    case Op::kStep: HALSIM_StepTiming((in.Byte() % 32 + 1) * kUsPerMs); break;
    case Op::kCount: break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  HALSIM_PauseTiming();
  HALSIM_SetDriverStationEnabled(1);
  // The trace would grow without bound over millions of inputs.
  halsim::SetCanTraceEnabled(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tavrix::sim::SimController controller(kDevice);
  controller.SetClosedLoopQuantity(1, tavrix::sim::ClosedLoopQuantity::kVelocity);
  controller.SetClosedLoopQuantity(3, tavrix::sim::ClosedLoopQuantity::kPosition);
  Input in(data, size);
  while (!in.Done()) RunOne(in);
  const double output = controller.GetAppliedOutput();
  if (!std::isfinite(output) || std::fabs(output) > 1.0 + 1e-9) std::abort();
  halsim::ResetRecords();
  return 0;
}
