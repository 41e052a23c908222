// Frame recording on the simulated bus (see bus_recorder.h).
#include "bus_recorder.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include <hal/HALBase.h>
#include <hal/simulation/CanData.h>
#include <hal/simulation/MockHooks.h>
#include <tavrix/Wire.h>

#include "wall_clock.h"

namespace {
constexpr auto kHangBound = tavrix_test::WallBound(std::chrono::seconds(30));
}

BusRecorder::BusRecorder() : m_state(*new State) {
  // Kept reachable for the life of the process (see the header).
  static std::mutex keptMutex;
  static auto* kept = new std::vector<const State*>;
  {
    std::lock_guard<std::mutex> lock(keptMutex);
    kept->push_back(&m_state);
  }
  m_uid = HALSIM_RegisterCanSendMessageCallback(&OnSend, &m_state);
}

BusRecorder::~BusRecorder() { HALSIM_CancelCanSendMessageCallback(m_uid); }

void BusRecorder::OnSend(const char*, void* param, uint32_t messageID, const uint8_t* data,
                         uint8_t dataSize, int32_t periodMs, int32_t*) {
  auto* state = static_cast<State*>(param);
  int32_t status = 0;
  SentFrame frame;
  frame.timeUs = HAL_GetFPGATime(&status);
  frame.id = messageID;
  frame.size = dataSize;
  frame.periodMs = periodMs;
  if (data != nullptr) std::memcpy(frame.data.data(), data, std::min<size_t>(dataSize, 8));
  std::lock_guard<std::mutex> lock(state->mutex);
  state->frames.push_back(frame);
  state->changed.notify_all();
}

std::vector<SentFrame> BusRecorder::Frames() const {
  std::lock_guard<std::mutex> lock(m_state.mutex);
  return m_state.frames;
}

std::vector<SentFrame> BusRecorder::FramesFor(uint32_t id) const {
  std::vector<SentFrame> out;
  for (const SentFrame& f : Frames()) {
    if (f.id == id) out.push_back(f);
  }
  return out;
}

std::vector<SentFrame> BusRecorder::FramesForDevice(int deviceNumber) const {
  std::vector<SentFrame> out;
  for (const SentFrame& f : Frames()) {
    if (zem::wire::IsControllerId(f.id) && zem::wire::DeviceOf(f.id) == deviceNumber) {
      out.push_back(f);
    }
  }
  return out;
}

void BusRecorder::Clear() {
  std::lock_guard<std::mutex> lock(m_state.mutex);
  m_state.frames.clear();
}

bool BusRecorder::WaitFor(const std::function<bool(const std::vector<SentFrame>&)>& done) const {
  // Paused, threads started since the last step make their first move in the next
  // one: an empty step lets them send what they send at once.
  if (HALSIM_IsTimingPaused()) HALSIM_StepTiming(0);
  std::unique_lock<std::mutex> lock(m_state.mutex);
  return m_state.changed.wait_for(lock, kHangBound, [&] { return done(m_state.frames); });
}

bool BusRecorder::WaitForCount(uint32_t id, size_t count) const {
  return WaitFor([&](const std::vector<SentFrame>& frames) {
    return static_cast<size_t>(std::count_if(frames.begin(), frames.end(), [&](const SentFrame& f) {
             return f.id == id;
           })) >= count;
  });
}
