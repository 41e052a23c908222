// Test support for the low-level device: scripted controller, trace queries
// and the paused-clock fixture.
#include "lowlevel_fixture.h"

#include <chrono>
#include <memory>
#include <utility>

#include <hal/simulation/CanData.h>
#include <hal/simulation/MockHooks.h>

#include "bus_trace.h"
#include "tavrix/TavrixDriver.h"
#include "tavrix/Wire.h"
#include "wall_clock.h"

namespace lowlevel_test {

namespace wire = zem::wire;

Bytes ToBytes(const uint8_t* data, size_t size) {
  return size == 0 ? Bytes{} : Bytes(data, data + size);
}

uint64_t RegistryWord() { return __atomic_load_n(&ZEM_CANRegisteredDevices, __ATOMIC_SEQ_CST); }

void ExpectReplyReads(const std::vector<halsim::CanReadRecord>& reads, bool answered) {
  if (answered) {
    ASSERT_EQ(reads.size(), 2u);
  } else {
    ASSERT_GE(reads.size(), 2u);
    // Pauses between the looks: a spinning wait would make thousands.
    EXPECT_LT(reads.size(), 1000u);
  }
  for (size_t i = 0; i < reads.size(); ++i) {
    EXPECT_EQ(reads[i].kind, halsim::CanReadKind::kNew) << i;
    EXPECT_EQ(reads[i].found, answered && i + 1 == reads.size()) << i;
  }
}

int64_t WallMsOf(const std::function<void()>& call) {
  const auto start = std::chrono::steady_clock::now();
  call();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

Bytes FloatBytes(float value) {
  uint8_t out[4];
  wire::PutU32(out, wire::FloatBits(value));
  return ToBytes(out, 4);
}

// Platform callbacks are copied out of the registry before they run, so a
// cancelled one may still be running on another thread: what it touches is
// kept, reachable, until the process ends.
namespace {

template <typename T>
T* KeepUntilExit() {
  static auto* keepMutex = new std::mutex;
  static auto* kept = new std::vector<std::shared_ptr<void>>;
  auto object = std::make_shared<T>();
  std::lock_guard<std::mutex> lock(*keepMutex);
  kept->push_back(object);
  return object.get();
}

}  // namespace

// ---------------------------------------------------------------------------
// ScriptedController
// ---------------------------------------------------------------------------

struct ScriptedController::State {
  std::mutex mutex;
  bool active = true;
  int deviceNumber = 0;
  std::map<int32_t, Replier> repliers;
  bool storeParameters = false;
  std::map<int32_t, Bytes> parameters;

  std::optional<Bytes> ReplyTo(int32_t apiId, const Bytes& sent);
};

ScriptedController::ScriptedController(int number) : state(KeepUntilExit<State>()) {
  state->deviceNumber = number;
  uid = HALSIM_RegisterCanFrameCallback(&ScriptedController::OnFrame, state);
}

ScriptedController::~ScriptedController() {
  HALSIM_CancelCanFrameCallback(uid);
  std::lock_guard<std::mutex> lock(state->mutex);
  state->active = false;
  state->repliers.clear();
}

void ScriptedController::SetReplier(int32_t apiId, Replier replier) {
  std::lock_guard<std::mutex> lock(state->mutex);
  state->repliers[apiId] = std::move(replier);
}

void ScriptedController::Answer(int32_t apiId, const Bytes& reply) {
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
  std::lock_guard<std::mutex> lock(state->mutex);
  state->storeParameters = true;
}

std::optional<Bytes> ScriptedController::State::ReplyTo(int32_t apiId, const Bytes& sent) {
  std::lock_guard<std::mutex> lock(mutex);
  if (!active) return std::nullopt;
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
  auto* self = static_cast<State*>(param);
  if (!fromRobot || periodMs < 0 || !wire::IsControllerId(messageID)) return;
  // deviceNumber is set before the callback is registered and never changes.
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

struct LowLevelTest::Signal {
  std::mutex mutex;
  std::condition_variable frameArrived;
  uint64_t frameCount = 0;
};

void LowLevelTest::SetUp() {
  signal = KeepUntilExit<Signal>();
  HALSIM_PauseTiming();
  halsim::ResetRecords();
  halsim::ClearCanTrace();
  halsim::ClearCanReads();
  uid = HALSIM_RegisterCanFrameCallback(&LowLevelTest::OnFrame, signal);
}

void LowLevelTest::TearDown() {
  halsim::SetCanReadHook({});
  HALSIM_CancelCanFrameCallback(uid);
}

void LowLevelTest::OnFrame(void* param, uint64_t, uint32_t, const uint8_t*, uint8_t, int32_t,
                           int32_t) {
  auto* self = static_cast<Signal*>(param);
  {
    std::lock_guard<std::mutex> lock(self->mutex);
    ++self->frameCount;
  }
  self->frameArrived.notify_all();
}

bool LowLevelTest::WaitForFrameSignal() {
  // Bounded on the wall clock only so that a missing thread fails the test
  // instead of hanging it; returns as soon as any frame is on the bus.
  std::unique_lock<std::mutex> lock(signal->mutex);
  const uint64_t seen = signal->frameCount;
  return signal->frameArrived.wait_for(lock, tavrix_test::WallBound(std::chrono::milliseconds(20)),
                                       [&] { return signal->frameCount != seen; });
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
  return StepUntil([&] { return !SentTo(deviceNumber, wire::api::kSetpointNeverFilled).empty(); });
}

size_t TraceSize() { return halsim::GetCanTrace().size(); }

namespace {

bool IsSetpointApi(int32_t apiId) { return wire::IsSetpointSenderApi(apiId); }

}  // namespace

std::vector<Sent> AllSentTo(int deviceNumber, size_t from) {
  std::vector<Sent> out;
  for (const auto& f : tavrix_test::RobotFrames(deviceNumber, tavrix_test::kAnyApi, from)) {
    out.push_back(
        Sent{wire::ApiOf(f.messageID), ToBytes(f.data, f.dataSize), f.periodMs, f.timestampUs});
  }
  return out;
}

std::vector<Sent> SentTo(int deviceNumber, size_t from) {
  std::vector<Sent> out;
  for (auto& s : AllSentTo(deviceNumber, from)) {
    if (!IsSetpointApi(s.api) && s.api != wire::api::kHeartbeat) out.push_back(std::move(s));
  }
  return out;
}

std::vector<Sent> SentTo(int deviceNumber, int32_t apiId, size_t from) {
  std::vector<Sent> out;
  for (auto& s : AllSentTo(deviceNumber, from)) {
    if (s.api == apiId) out.push_back(std::move(s));
  }
  return out;
}

std::vector<Sent> SetpointsTo(int deviceNumber, size_t from) {
  std::vector<Sent> out;
  for (auto& s : AllSentTo(deviceNumber, from)) {
    if (IsSetpointApi(s.api) && s.periodMs == 0 && s.bytes.size() == 8) {
      out.push_back(std::move(s));
    }
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
