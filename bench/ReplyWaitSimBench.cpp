// A parameter read from a simulated controller that answers 1 ms after the
// request, in real time on WPILib's simulation. The controller hands a delayed
// reply to the robot's reads once the clock reaches the reply's due time, so
// the reply becomes readable 1 ms after the request went out; a send callback
// of the benchmark, registered before the controller's, notes that instant.
#include <atomic>

#include <hal/HALBase.h>
#include <hal/simulation/CanData.h>
#include <hal/simulation/MockHooks.h>

#include "BenchStats.h"
#include "LateReplies.h"
#include "tavrix/Wire.h"
#include "tavrix/sim/SimController.h"

namespace tavrix_bench {
namespace {

namespace wire = zem::wire;

constexpr int kDevice = 50;
constexpr uint64_t kReplyDelayUs = 1000;
constexpr int64_t kReplyDelayNs = 1000000;

std::atomic<int64_t> lastRequestNs{0};

void StampRequest(const char* /*name*/, void* /*param*/, uint32_t messageId,
                  const uint8_t* /*data*/, uint8_t dataSize, int32_t /*periodMs*/,
                  int32_t* /*status*/) {
  if (wire::IsControllerId(messageId) && wire::DeviceOf(messageId) == kDevice &&
      wire::IsParameterApi(wire::ApiOf(messageId)) && dataSize == 0) {
    lastRequestNs.store(NowNs());
  }
}

void BM_ParameterReadFromASimulatedControllerOneMillisecondLate(benchmark::State& state) {
  HAL_Initialize(500, 0);  // before any simulation callback is registered
  const int32_t stamp = HALSIM_RegisterCanSendMessageCallback(&StampRequest, nullptr);
  tavrix::sim::SimController controller(kDevice);
  tavrix::sim::BusFaults late;
  late.replyDelayUs = kReplyDelayUs;
  controller.SetBusFaults(late);
  HALSIM_ResumeTiming();
  zem::CANTavrix robot(kDevice, zem::CANTavrixLowLevel::MotorType::kMotorKind1);
  const int reads = QuickRun() ? 50 : 2000;
  LateReplyReads figure;
  for (auto _ : state) {
    for (int i = 0; i < reads; ++i) {
      figure.Read(
          robot, [] { return lastRequestNs.load(); },
          [] { return lastRequestNs.load() + kReplyDelayNs; });
    }
    state.SetIterationTime(figure.WallSeconds());
  }
  HALSIM_CancelCanSendMessageCallback(stamp);
  figure.Report(state);
}
BENCHMARK(BM_ParameterReadFromASimulatedControllerOneMillisecondLate)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrix_bench
