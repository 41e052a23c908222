// The port on WPILib 2026's simulation. The robot's frames arrive through the
// HAL's CAN send callback; a controller's frames wait in a mailbox, newest per
// id, until the robot's read asks for them through the receive callback (the
// HAL keeps no bus of its own). Both callbacks run under the HAL's CAN spinlock:
// they only copy frames, and the receive callback touches only ids it holds a
// frame for. The tick is a thread waiting on a HAL notifier, so that
// HALSIM_StepTiming moves it together with the robot program's notifiers.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include <hal/Errors.h>
#include <hal/HALBase.h>
#include <hal/Notifier.h>
#include <hal/SimDevice.h>
#include <hal/simulation/CanData.h>
#include <hal/simulation/MockHooks.h>
#include <hal/simulation/NotifierData.h>

#include "port/SimPort.h"

namespace tavrix::sim::detail {
namespace port {
namespace {

constexpr uint32_t kArbitrationMask = 0x1FFFFFFFu;
constexpr uint64_t kUsPerMs = 1000;

PortClient* theClient = nullptr;  // set once in Connect, before the callbacks are registered

// Per id the newest frame not read yet, and a tick's frame that becomes
// readable only after the instant it was sent at.
struct Mailbox {
  struct Held {
    zem::wire::Payload data;
    uint8_t length;
    uint32_t timestampMs;
  };
  struct Slot {
    std::optional<Held> unread;
    std::optional<Held> upcoming;
    uint64_t upcomingFromUs = 0;

    void Promote(uint64_t nowUs) {
      if (upcoming && nowUs >= upcomingFromUs) {
        unread = upcoming;
        upcoming.reset();
      }
    }
  };
  std::mutex mutex;
  std::unordered_map<uint32_t, Slot> slots;  // by arbitration id
};

Mailbox& TheMailbox() {
  static Mailbox* const mailbox = new Mailbox();  // callbacks may run while the process exits
  return *mailbox;
}

void OnSend(const char* /*name*/, void* /*param*/, uint32_t messageId, const uint8_t* data,
            uint8_t dataSize, int32_t periodMs, int32_t* /*status*/) {
  if (periodMs < 0) return;  // a request to stop a repetition, not a frame
  const zem::wire::Payload payload = zem::wire::PadPayload(data, dataSize);
  const Frame frame{NowUs(), messageId, payload.data(),
                    static_cast<uint8_t>(std::min<int>(dataSize, zem::wire::kPayloadLength))};
  theClient->OnRobotFrame(frame);
}

// A frame counts for the HAL only when a callback sets the size or the status;
// ids nobody published are left alone for other simulated devices. (The HAL's
// callback type fixes the non-const id pointer.)
// NOLINTNEXTLINE(readability-non-const-parameter)
void OnReceive(const char* /*name*/, void* /*param*/, uint32_t* messageId, uint32_t messageIdMask,
               uint8_t* data, uint8_t* dataSize, uint32_t* timeStamp, int32_t* status) {
  const uint64_t nowUs = NowUs();
  Mailbox& mailbox = TheMailbox();
  std::lock_guard<std::mutex> lock(mailbox.mutex);
  const auto found = mailbox.slots.find(*messageId & messageIdMask & kArbitrationMask);
  if (found == mailbox.slots.end()) return;
  Mailbox::Slot& slot = found->second;
  slot.Promote(nowUs);
  if (!slot.unread) return;
  std::memcpy(data, slot.unread->data.data(), slot.unread->length);
  *dataSize = slot.unread->length;
  *timeStamp = slot.unread->timestampMs;
  *status = 0;
  slot.unread.reset();  // each frame is read once, as from a receive queue
}

// The tick's thread and notifier: created at the first StartTick (after
// HAL_Initialize), stopped and joined by a static destroyed before the HAL's
// state at exit. Never waits on anything a stepping thread holds.
class Ticker {
 public:
  static Ticker& Instance() {
    static Ticker* const ticker = new Ticker();
    static const ExitStop exitStop;  // constructed after the ticker, so destroyed first at exit
    return *ticker;
  }

  void Start(uint64_t firstUs) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) return;
    armed_ = true;
    int32_t status = 0;
    HAL_UpdateNotifierAlarm(notifier_, firstUs, &status);
  }

  void Stop() {
    std::lock_guard<std::mutex> lock(mutex_);  // waits for a tick that runs
    if (stopped_) return;
    armed_ = false;
    int32_t status = 0;
    HAL_CancelNotifierAlarm(notifier_, &status);
  }

 private:
  // At exit, before the HAL's state and before the driver's thread owners
  // (constructed earlier, at load): with time paused, a thread waiting on its
  // notifier would never see its owner stop it, and exit would hang joining it.
  // Time runs on from here, so that every such wait ends.
  struct ExitStop {
    ~ExitStop() {
      Instance().Shutdown();
      if (HALSIM_IsTimingPaused()) HALSIM_ResumeTiming();
    }
  };

  Ticker() {
    int32_t status = 0;
    notifier_ = HAL_InitializeNotifier(&status);
    HAL_SetNotifierName(notifier_, "TavrixSim", &status);
    thread_ = std::thread([this] { Run(); });
  }

  void Run() {
    for (;;) {
      int32_t status = 0;
      const uint64_t nowUs = HAL_WaitForNotifierAlarm(notifier_, &status);
      if (nowUs == 0 || status != 0 || ending_.load()) return;
      std::lock_guard<std::mutex> lock(mutex_);
      if (!armed_) continue;
      const uint64_t nextUs = theClient->OnTick(nowUs);
      if (nextUs == 0) {
        armed_ = false;
      } else {
        HAL_UpdateNotifierAlarm(notifier_, nextUs, &status);
      }
    }
  }

  void Shutdown() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopped_ = true;
      armed_ = false;
    }
    ending_.store(true);
    int32_t status = 0;
    HAL_StopNotifier(notifier_, &status);
    if (thread_.joinable()) thread_.join();
    HAL_CleanNotifier(notifier_);
  }

  HAL_NotifierHandle notifier_ = HAL_kInvalidHandle;
  std::thread thread_;
  std::mutex mutex_;  // held while a tick runs
  bool armed_ = false;
  bool stopped_ = false;
  std::atomic<bool> ending_{false};
};

}  // namespace

void Connect(PortClient* client) {
  static std::once_flag once;
  std::call_once(once, [client] {
    HAL_Initialize(500, 0);
    theClient = client;
    HALSIM_RegisterCanSendMessageCallback(&OnSend, nullptr);
    HALSIM_RegisterCanReceiveMessageCallback(&OnReceive, nullptr);
  });
}

bool CommandsApplyOnReceipt() { return false; }

uint64_t NowUs() {
  int32_t status = 0;
  return HAL_GetFPGATime(&status);
}

// Whole milliseconds: after HAL_Initialize (and so after the first controller's
// construction) the clock stands at a fraction of a millisecond that varies
// from run to run; ticks on whole milliseconds do not inherit it.
uint64_t TickOrigin(uint64_t nowUs) { return nowUs - nowUs % kUsPerMs; }

void Publish(const OutFrame& frame, Visibility visibility) {
  const uint64_t nowUs = NowUs();
  {
    Mailbox& mailbox = TheMailbox();
    std::lock_guard<std::mutex> lock(mailbox.mutex);
    Mailbox::Slot& slot = mailbox.slots[frame.id & kArbitrationMask];
    const Mailbox::Held held{frame.data, frame.length, static_cast<uint32_t>(nowUs / kUsPerMs)};
    slot.Promote(nowUs);
    if (visibility == Visibility::kNow) {
      slot.unread = held;
    } else {
      slot.upcoming = held;
      slot.upcomingFromUs = nowUs + 1;
    }
  }
  theClient->OnDeviceFrame(Frame{nowUs, frame.id, frame.data.data(), frame.length});
}

void ForgetDevice(int device) {
  Mailbox& mailbox = TheMailbox();
  std::lock_guard<std::mutex> lock(mailbox.mutex);
  for (auto it = mailbox.slots.begin(); it != mailbox.slots.end();) {
    const bool ours =
        zem::wire::IsControllerId(it->first) && zem::wire::DeviceOf(it->first) == device;
    it = ours ? mailbox.slots.erase(it) : std::next(it);
  }
}

void StartTick(uint64_t firstUs) { Ticker::Instance().Start(firstUs); }
void StopTick() { Ticker::Instance().Stop(); }

void ResetBusAndPause() {
  {
    Mailbox& mailbox = TheMailbox();
    std::lock_guard<std::mutex> lock(mailbox.mutex);
    mailbox.slots.clear();
  }
  HALSIM_PauseTiming();
}

// A notifier's alarm is set just before its thread waits: once `count` have
// one, as many threads have done their first round. (A notifier without an
// alarm, such as WPILib's watchdog's, waits already.)
bool WaitForNotifierThreads(int count, double wallSeconds) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(wallSeconds));
  std::vector<HALSIM_NotifierInfo> infos;
  for (;;) {
    infos.resize(static_cast<size_t>(std::max(HALSIM_GetNumNotifiers(), 0)) + 1);
    const int32_t found = HALSIM_GetNotifierInfo(infos.data(), static_cast<int32_t>(infos.size()));
    const auto end = infos.begin() + std::clamp<std::ptrdiff_t>(found, 0, std::ssize(infos));
    const auto armed = std::count_if(
        infos.begin(), end, [](const HALSIM_NotifierInfo& n) { return n.waitTimeValid != 0; });
    if (armed >= count) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace port

// The HAL SimDevice "Tavrix[<device>]": outputs written each tick, and the bus
// voltage also an input. Its value callbacks would also fire for the tick's own
// writes; the tick compares with what it wrote last instead.
struct DeviceView::Impl {
  explicit Impl(hal::SimDevice d) : device(std::move(d)) {}
  hal::SimDevice device;
  hal::SimDouble appliedOutput = device.CreateDouble("appliedOutput", hal::SimDevice::kOutput, 0.0);
  hal::SimDouble motorVoltage = device.CreateDouble("motorVoltage", hal::SimDevice::kOutput, 0.0);
  hal::SimDouble velocity = device.CreateDouble("velocity", hal::SimDevice::kOutput, 0.0);
  hal::SimDouble position = device.CreateDouble("position", hal::SimDevice::kOutput, 0.0);
  hal::SimDouble outputCurrent = device.CreateDouble("outputCurrent", hal::SimDevice::kOutput, 0.0);
  hal::SimDouble temperature = device.CreateDouble("temperature", hal::SimDevice::kOutput, 0.0);
  hal::SimDouble busVoltage = device.CreateDouble("busVoltage", hal::SimDevice::kBidir, 0.0);
  double busVoltageWritten = 0.0;
};

DeviceView::DeviceView(int device) {
  hal::SimDevice simDevice("Tavrix", device);
  if (simDevice) impl_ = std::make_unique<Impl>(std::move(simDevice));
}

DeviceView::~DeviceView() = default;

bool DeviceView::IsShown() const { return impl_ != nullptr; }

void DeviceView::Publish(const DeviceValues& v) {
  if (!impl_) return;
  impl_->appliedOutput.Set(v.appliedOutput);
  impl_->motorVoltage.Set(v.motorVoltage);
  impl_->velocity.Set(v.velocity);
  impl_->position.Set(v.position);
  impl_->outputCurrent.Set(v.outputCurrent);
  impl_->temperature.Set(v.temperature);
  impl_->busVoltage.Set(v.busVoltage);
  impl_->busVoltageWritten = v.busVoltage;
}

std::optional<double> DeviceView::TakeBusVoltageSet() {
  if (!impl_) return std::nullopt;
  const double volts = impl_->busVoltage.Get();
  if (volts == impl_->busVoltageWritten) return std::nullopt;
  impl_->busVoltageWritten = volts;
  return volts;
}

}  // namespace tavrix::sim::detail
