// The port on the stand-in: its frame callback hears robot and device frames,
// HALSIM_DeliverCanMessage puts a controller's frame on the bus, and the tick is
// a timed callback of the simulated clock (paused, steps run it on the stepping
// thread in a fixed order, with no thread of its own to wake each millisecond).
#include <algorithm>
#include <mutex>

#include "hal/HALBase.h"
#include "hal/simulation/CanData.h"
#include "hal/simulation/MockHooks.h"
#include "hal/simulation/SimRecords.h"
#include "port/SimPort.h"

namespace tavrix::sim::detail {
namespace port {
namespace {

PortClient* theClient = nullptr;  // set once in Connect, before any callback
int32_t tickHandle = 0;           // guarded by the callers of StartTick/StopTick

void OnFrame(void* /*param*/, uint64_t timestampUs, uint32_t messageId, const uint8_t* data,
             uint8_t dataSize, int32_t periodMs, HAL_Bool fromRobot) {
  if (periodMs < 0) return;  // a request to stop a repetition, not a frame
  // Deliveries made while handling this frame re-enter here; keep a copy of the payload.
  const zem::wire::Payload payload = zem::wire::PadPayload(data, dataSize);
  const Frame frame{timestampUs, messageId, payload.data(),
                    static_cast<uint8_t>(std::min<int>(dataSize, zem::wire::kPayloadLength))};
  if (fromRobot == 0) {
    theClient->OnDeviceFrame(frame);
  } else {
    theClient->OnRobotFrame(frame);
  }
}

uint64_t OnTimed(void* /*param*/, uint64_t nowUs) { return theClient->OnTick(nowUs); }

}  // namespace

void Connect(PortClient* client) {
  static std::once_flag once;
  std::call_once(once, [client] {
    theClient = client;
    HALSIM_RegisterCanFrameCallback(&OnFrame, nullptr);
  });
}

bool CommandsApplyOnReceipt() { return true; }

uint64_t NowUs() {
  int32_t status = 0;
  return HAL_GetFPGATime(&status);
}

uint64_t TickOrigin(uint64_t nowUs) { return nowUs; }

// The stand-in runs the threads of one instant one at a time, in a fixed order:
// a frame is readable as soon as it is on the bus.
void Publish(const OutFrame& frame, Visibility /*visibility*/) {
  HALSIM_DeliverCanMessage(frame.id, frame.data.data(), frame.length);
}

// The stand-in keeps the newest frame of every id, as a bus analyser would.
void ForgetDevice(int /*device*/) {}

void StartTick(uint64_t firstUs) {
  tickHandle = HALSIM_RegisterTimedCallback(firstUs, &OnTimed, nullptr);
}

void StopTick() {
  HALSIM_CancelTimedCallback(tickHandle);  // returns once no tick runs
  tickHandle = 0;
}

void ResetBusAndPause() {
  HALSIM_ResetCanBusData();
  halsim::ResetRecords();
  HALSIM_PauseTiming();
}

// Steps on the stand-in already hold a thread started while paused until the
// next step, and run it to its first wait first.
bool WaitForNotifierThreads(int /*count*/, double /*wallSeconds*/) { return true; }

}  // namespace port

// The stand-in has no device list of its own: nothing to show.
struct DeviceView::Impl {};
DeviceView::DeviceView(int /*device*/) {}
DeviceView::~DeviceView() = default;
bool DeviceView::IsShown() const { return false; }
void DeviceView::Publish(const DeviceValues& /*values*/) {}
std::optional<double> DeviceView::TakeBusVoltageSet() { return std::nullopt; }

}  // namespace tavrix::sim::detail
