// A parameter read from a controller that answers 1 ms after the request, in
// real time: how soon after the reply became readable the read returns, and
// what the wait costs the calling thread. The responder is the benchmark's
// own thread, so that it can note the instant each reply became readable.
#include <sys/prctl.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <hal/simulation/CanData.h>
#include <hal/simulation/MockHooks.h>

#include "BenchSupport.h"
#include "LateReplies.h"
#include "tavrix/Wire.h"

namespace tavrix_bench {
namespace {

namespace wire = zem::wire;

constexpr auto kReplyDelay = std::chrono::milliseconds(1);
// The jittered variant adds up to this much to each delay.
constexpr int kJitterUs = 150;
constexpr uint32_t kHeldWord = 0x3f800000;  // 1.0f

// Answers every parameter read of one device after kReplyDelay, from a thread
// of its own, and notes when each request was sent and its reply delivered.
class LateResponder {
 public:
  LateResponder(int device, bool jitter) : device_(device), jitter_(jitter) {
    uid_ = HALSIM_RegisterCanSendMessageCallback(&LateResponder::OnSend, this);
    thread_ = std::thread([this] { Run(); });
  }
  ~LateResponder() {
    HALSIM_CancelCanSendMessageCallback(uid_);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  LateResponder(const LateResponder&) = delete;
  LateResponder& operator=(const LateResponder&) = delete;

  int64_t RequestNs() const { return requestNs_.load(); }
  int64_t ReadableNs() const { return readableNs_.load(); }

 private:
  static void OnSend(const char* /*name*/, void* param, uint32_t messageId, const uint8_t* /*data*/,
                     uint8_t dataSize, int32_t /*periodMs*/, int32_t* /*status*/) {
    auto* self = static_cast<LateResponder*>(param);
    if (!wire::IsControllerId(messageId) || wire::DeviceOf(messageId) != self->device_) return;
    if (!wire::IsParameterApi(wire::ApiOf(messageId)) || dataSize != 0) return;
    self->requestNs_.store(NowNs());
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      self->pendingId_ = messageId;
      self->due_ = std::chrono::steady_clock::now() + kReplyDelay + self->NextJitter();
    }
    self->changed_.notify_all();
  }

  void Run() {
    // Without timer slack the reply's timer expires on its own, as a reply on a
    // real bus arrives; with the default slack the kernel expires it together
    // with the reader's next poll, which would flatter the reader.
    prctl(PR_SET_TIMERSLACK, 1UL);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return done_ || pendingId_ != 0; });
      if (done_) return;
      if (std::chrono::steady_clock::now() < due_) {
        changed_.wait_until(lock, due_);
        continue;
      }
      const uint32_t id = pendingId_;
      pendingId_ = 0;
      const auto reply = wire::EncodeValueFrame(kHeldWord, wire::type::kFloat32);
      readableNs_.store(NowNs());
      HALSIM_DeliverCanMessage(id, reply.data(), static_cast<uint8_t>(reply.size()));
    }
  }

  // A fixed pseudo-random sequence: the runs stay comparable.
  std::chrono::microseconds NextJitter() {
    if (!jitter_) return std::chrono::microseconds(0);
    constexpr uint32_t kMultiplier = 1664525;
    constexpr uint32_t kIncrement = 1013904223;
    seed_ = seed_ * kMultiplier + kIncrement;
    return std::chrono::microseconds((seed_ >> 8) % kJitterUs);
  }

  const int device_;
  const bool jitter_;
  uint32_t seed_ = 1;
  int32_t uid_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  uint32_t pendingId_ = 0;
  std::chrono::steady_clock::time_point due_;
  bool done_ = false;
  std::atomic<int64_t> requestNs_{0};
  std::atomic<int64_t> readableNs_{0};
  std::thread thread_;
};

void BM_ParameterReadAnsweredOneMillisecondLate(benchmark::State& state) {
  zem::CANTavrix& robot = BenchWorld::Get().Robot(0);  // device 1, its controller detached
  HALSIM_ResumeTiming();
  const int reads = QuickRun() ? 50 : 2000;
  LateReplyReads figure;
  for (auto _ : state) {
    LateResponder responder(robot.GetDeviceId(), state.range(0) != 0);
    for (int i = 0; i < reads; ++i) {
      figure.Read(
          robot, [&] { return responder.RequestNs(); }, [&] { return responder.ReadableNs(); });
    }
    state.SetIterationTime(figure.WallSeconds());
  }
  HALSIM_PauseTiming();
  figure.Report(state);
}
BENCHMARK(BM_ParameterReadAnsweredOneMillisecondLate)
    ->ArgName("jitter")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrix_bench
