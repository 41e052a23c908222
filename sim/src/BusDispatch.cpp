// One frame callback, registered once and never cancelled, serves every
// simulated controller. It calls each attached controller through a reference
// of its own, so a controller detached while a frame is in flight stays alive
// until that call returns: detaching never races with the callback.
#include "BusDispatch.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "hal/simulation/CanData.h"

namespace tavrix::sim::detail {
namespace {

struct Registry {
  std::mutex mutex;
  std::vector<std::shared_ptr<ControllerCore>> cores;
};

// Never destroyed: a frame may still be put on the bus while the process exits.
Registry& TheRegistry() {
  static Registry* registry = new Registry();
  return *registry;
}

std::vector<std::shared_ptr<ControllerCore>> AttachedCores() {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  return r.cores;
}

void OnFrame(void* /*param*/, uint64_t timestampUs, uint32_t messageId, const uint8_t* data,
             uint8_t dataSize, int32_t periodMs, HAL_Bool fromRobot) {
  if (periodMs < 0) return;  // a request to stop a repetition, not a frame
  // Our own deliveries below re-enter this callback; keep a copy of the payload.
  const zem::wire::Payload payload = zem::wire::PadPayload(data, dataSize);
  const Frame frame{timestampUs, messageId, payload.data(),
                    static_cast<uint8_t>(std::min<int>(dataSize, zem::wire::kPayloadLength))};
  for (const std::shared_ptr<ControllerCore>& core : AttachedCores()) {
    if (fromRobot == 0) {
      core->OnDeviceFrame(frame);
      continue;
    }
    Outbox out;
    core->OnRobotFrame(frame, &out);
    Deliver(out);
  }
}

void RegisterOnce() {
  static std::once_flag once;
  std::call_once(once, [] { HALSIM_RegisterCanFrameCallback(&OnFrame, nullptr); });
}

}  // namespace

bool AttachToBus(const std::shared_ptr<ControllerCore>& core) {
  RegisterOnce();
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  const bool taken = std::any_of(r.cores.begin(), r.cores.end(), [&](const auto& c) {
    return c->DeviceNumber() == core->DeviceNumber();
  });
  if (taken) return false;
  r.cores.push_back(core);
  return true;
}

void DetachFromBus(const ControllerCore* core) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.cores.erase(std::remove_if(r.cores.begin(), r.cores.end(),
                               [core](const auto& c) { return c.get() == core; }),
                r.cores.end());
}

void Deliver(const Outbox& out) {
  for (const OutFrame& f : out) HALSIM_DeliverCanMessage(f.id, f.data.data(), f.length);
}

}  // namespace tavrix::sim::detail
