// Test support for the low-level device: scripted controller, trace queries
// and the paused-clock fixture.
#include "lowlevel_fixture.h"

#include <chrono>
#include <utility>

#include <hal/simulation/CanData.h>
#include <hal/simulation/MockHooks.h>

#include "tavrix/TavrixDriver.h"
#include "tavrix/Wire.h"

namespace lowlevel_test {

namespace wire = zem::wire;

Bytes ToBytes(const uint8_t* data, size_t size) {
  return size == 0 ? Bytes{} : Bytes(data, data + size);
}

uint64_t RegistryWord() { return __atomic_load_n(&ZEM_CANRegisteredDevices, __ATOMIC_SEQ_CST); }

Bytes FloatBytes(float value) {
  uint8_t out[4];
  wire::PutU32(out, wire::FloatBits(value));
  return ToBytes(out, 4);
}

// ---------------------------------------------------------------------------
// ScriptedController
// ---------------------------------------------------------------------------

ScriptedController::ScriptedController(int number) : deviceNumber(number) {
  uid = HALSIM_RegisterCanFrameCallback(&ScriptedController::OnFrame, this);
}

ScriptedController::~ScriptedController() { HALSIM_CancelCanFrameCallback(uid); }

void ScriptedController::SetReplier(int32_t apiId, Replier replier) {
  std::lock_guard<std::mutex> lock(mutex);
  repliers[apiId] = std::move(replier);
}

void ScriptedController::Answer(int32_t apiId, Bytes reply) {
  SetReplier(apiId, [reply](const Bytes& sent) -> std::optional<Bytes> {
    if (!sent.empty()) return std::nullopt;
    return reply;
  });
}

void ScriptedController::AnswerFirmware(uint32_t version, bool debugBuild) {
  const auto reply = wire::EncodeFirmware(version, debugBuild);
  Answer(wire::api::kFirmwareVersion, ToBytes(reply.data(), reply.size()));
}

void ScriptedController::StoreParameters() {
  std::lock_guard<std::mutex> lock(mutex);
  storeParameters = true;
}

std::optional<Bytes> ScriptedController::ReplyTo(int32_t apiId, const Bytes& sent) {
  std::lock_guard<std::mutex> lock(mutex);
  auto found = repliers.find(apiId);
  if (found != repliers.end()) return found->second(sent);
  if (storeParameters && wire::IsParameterApi(apiId)) {
    if (sent.size() == wire::kValueFrameLength) {
      parameters[apiId] = sent;
      return std::nullopt;
    }
    if (sent.empty()) {
      auto stored = parameters.find(apiId);
      return stored != parameters.end() ? stored->second : Bytes(wire::kValueFrameLength, 0);
    }
  }
  return std::nullopt;
}

void ScriptedController::OnFrame(void* param, uint64_t /*timestampUs*/, uint32_t messageID,
                                 const uint8_t* data, uint8_t dataSize, int32_t periodMs,
                                 int32_t fromRobot) {
  auto* self = static_cast<ScriptedController*>(param);
  if (!fromRobot || periodMs < 0 || !wire::IsControllerId(messageID)) return;
  if (wire::DeviceOf(messageID) != self->deviceNumber) return;
  const int32_t apiId = wire::ApiOf(messageID);
  // Replies are delivered without holding the controller's lock.
  const std::optional<Bytes> reply = self->ReplyTo(apiId, ToBytes(data, dataSize));
  if (reply) {
    HALSIM_DeliverCanMessage(wire::ComposeId(self->deviceNumber, apiId), reply->data(),
                             static_cast<uint8_t>(reply->size()));
  }
}

// ---------------------------------------------------------------------------
// LowLevelTest
// ---------------------------------------------------------------------------

void LowLevelTest::SetUp() {
  HALSIM_PauseTiming();
  halsim::ResetRecords();
  halsim::ClearCanTrace();
  halsim::ClearCanReads();
  uid = HALSIM_RegisterCanFrameCallback(&LowLevelTest::OnFrame, this);
}

void LowLevelTest::TearDown() {
  halsim::SetCanReadHook({});
  HALSIM_CancelCanFrameCallback(uid);
}

void LowLevelTest::OnFrame(void* param, uint64_t, uint32_t, const uint8_t*, uint8_t, int32_t,
                           int32_t) {
  auto* self = static_cast<LowLevelTest*>(param);
  {
    std::lock_guard<std::mutex> lock(self->signalMutex);
    ++self->frameCount;
  }
  self->signal.notify_all();
}

bool LowLevelTest::WaitForFrameSignal() {
  // Bounded on the wall clock only so that a missing thread fails the test
  // instead of hanging it; returns as soon as any frame is on the bus.
  std::unique_lock<std::mutex> lock(signalMutex);
  const uint64_t seen = frameCount;
  return signal.wait_for(lock, std::chrono::milliseconds(20),
                         [&] { return frameCount != seen; });
}

bool LowLevelTest::StepUntil(const std::function<bool()>& done, int maxSteps) {
  for (int step = 0; step < maxSteps; ++step) {
    if (done()) return true;
    WaitForFrameSignal();
    if (done()) return true;
    HALSIM_StepTiming(10000);
  }
  return done();
}

bool LowLevelTest::AwaitSetpointThread(int deviceNumber) {
  // The sweep sends its zero frames on API id 2; only the setpoint thread
  // sends a never-filled slot on API id 0.
  return StepUntil(
      [&] { return !SentTo(deviceNumber, wire::api::kSetpointNeverFilled).empty(); });
}

size_t TraceSize() { return halsim::GetCanTrace().size(); }

std::vector<Sent> SentTo(int deviceNumber, size_t from) {
  const auto trace = halsim::GetCanTrace();
  std::vector<Sent> out;
  for (size_t i = from; i < trace.size(); ++i) {
    const auto& f = trace[i];
    if (!f.fromRobot || !wire::IsControllerId(f.messageID)) continue;
    if (wire::DeviceOf(f.messageID) != deviceNumber) continue;
    out.push_back(Sent{wire::ApiOf(f.messageID), ToBytes(f.data, f.dataSize), f.periodMs,
                       f.timestampUs});
  }
  return out;
}

std::vector<Sent> SentTo(int deviceNumber, int32_t apiId, size_t from) {
  std::vector<Sent> out;
  for (auto& s : SentTo(deviceNumber, from)) {
    if (s.api == apiId) out.push_back(std::move(s));
  }
  return out;
}

std::vector<Sent> SetpointsTo(int deviceNumber, size_t from) {
  std::vector<Sent> out;
  for (auto& s : SentTo(deviceNumber, from)) {
    const bool setpointId =
        s.api == wire::api::kSetpointNeverFilled || wire::ControlTypeOfApi(s.api) >= 0;
    if (setpointId && s.periodMs == 0 && s.bytes.size() == 8) out.push_back(std::move(s));
  }
  return out;
}

std::vector<halsim::CanReadRecord> ReadsOf(int deviceNumber, int32_t apiId) {
  std::vector<halsim::CanReadRecord> out;
  for (const auto& r : halsim::GetCanReads()) {
    if (r.messageID == wire::ComposeId(deviceNumber, apiId)) out.push_back(r);
  }
  return out;
}

}  // namespace lowlevel_test
