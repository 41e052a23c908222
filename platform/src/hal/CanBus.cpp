// The simulated CAN bus (see CanBus.h). Repeating sends are driven by an internal
// thread waiting on a HAL notifier, so that stepped time repeats them deterministically.
#include "CanBus.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <thread>

#include "Timing.h"
#include "common/PlatformInternal.h"
#include "hal/CAN.h"
#include "hal/Errors.h"

namespace hal {

namespace {

constexpr const char* kSendCallbackName = "CAN";
constexpr uint64_t kMicrosPerMilli = 1000;
const uint8_t kNoBytes[kMaxFrameBytes] = {};

CanFrame MakeFrame(uint32_t messageID, const uint8_t* data, uint8_t dataSize, uint64_t nowUs) {
  CanFrame frame;
  frame.id = messageID;
  frame.size = std::min(dataSize, kMaxFrameBytes);
  if (data != nullptr && frame.size > 0) std::memcpy(frame.data, data, frame.size);
  frame.timestampUs = nowUs;
  return frame;
}

halsim::CanFrameRecord ToRecord(const CanFrame& frame, int32_t periodMs, bool fromRobot) {
  halsim::CanFrameRecord record;
  record.timestampUs = frame.timestampUs;
  record.messageID = frame.id;
  record.dataSize = frame.size;
  std::memcpy(record.data, frame.data, sizeof(record.data));
  record.periodMs = periodMs;
  record.fromRobot = fromRobot;
  return record;
}

uint64_t ReceiveKey(uint32_t messageID, uint32_t mask) {
  return (static_cast<uint64_t>(messageID & mask) << 32) | mask;
}

uint32_t ToMillis(uint64_t us) { return static_cast<uint32_t>(us / kMicrosPerMilli); }

// The CAN API's notion of now: the FPGA clock in ms, cut to 32 bits.
uint32_t PacketTimeMs() { return ToMillis(Timing::Get().Now()); }

}  // namespace

CanBus& CanBus::Get() {
  static CanBus* bus = new CanBus;
  return *bus;
}

int32_t CanBus::Send(uint32_t messageID, const uint8_t* data, uint8_t dataSize, int32_t periodMs) {
  const bool stopping = periodMs == HAL_CAN_SEND_PERIOD_STOP_REPEATING;
  if (periodMs < HAL_CAN_SEND_PERIOD_STOP_REPEATING) return PARAMETER_OUT_OF_RANGE;
  if (!stopping && (dataSize > kMaxFrameBytes || (data == nullptr && dataSize > 0))) {
    return HAL_ERR_CANSessionMux_InvalidBuffer;
  }
  CanFrame frame = MakeFrame(messageID, data, data == nullptr ? 0 : dataSize, Timing::Get().Now());
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    UpdateRepetition(frame, periodMs);
    halsim::internal::RecordCanFrame(ToRecord(frame, periodMs, true));
  }
  NotifySendObservers(frame, periodMs);
  NotifyFrameObservers(frame, periodMs, true);
  return HAL_SUCCESS;
}

void CanBus::UpdateRepetition(const CanFrame& frame, int32_t periodMs) {
  if (periodMs == HAL_CAN_SEND_PERIOD_STOP_REPEATING) {
    m_repetitions.erase(frame.id);
    return;  // the repeater finds nothing due when it next wakes
  }
  if (periodMs == HAL_CAN_SEND_PERIOD_NO_REPEAT) return;
  Repetition& repetition = m_repetitions[frame.id];
  repetition.frame = frame;
  repetition.periodMs = periodMs;
  repetition.nextDueUs = frame.timestampUs + static_cast<uint64_t>(periodMs) * kMicrosPerMilli;
  if (m_repeater == HAL_kInvalidHandle) StartRepeaterLocked();
  ArmRepeaterLocked();
}

void CanBus::ResetContent() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_newest.clear();
  m_receiveRead.clear();
  m_repetitions.clear();
  if (m_repeater != HAL_kInvalidHandle) ArmRepeaterLocked();
  for (auto& entry : m_devices) {
    entry.second->lastRead.clear();
    entry.second->cache.clear();
  }
}

void CanBus::StartRepeaterLocked() {
  // The notifier exists before the thread runs, so a step waits for the thread to
  // reach its first wait.
  m_repeater = Timing::Get().CreateNotifier();
  // Lives as long as the process, like the bus.
  std::thread([this] { RepeaterLoop(); }).detach();
}

void CanBus::ArmRepeaterLocked() {
  if (m_repetitions.empty()) {
    Timing::Get().CancelAlarm(m_repeater);
    return;
  }
  uint64_t earliestUs = m_repetitions.begin()->second.nextDueUs;
  for (const auto& entry : m_repetitions) earliestUs = std::min(earliestUs, entry.second.nextDueUs);
  Timing::Get().UpdateAlarm(m_repeater, earliestUs);
}

std::vector<CanBus::Repetition> CanBus::TakeDueRepetitions(uint64_t nowUs) {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<Repetition> due;
  for (auto& entry : m_repetitions) {
    Repetition& repetition = entry.second;
    if (repetition.nextDueUs > nowUs) continue;
    Repetition sent = repetition;
    sent.frame.timestampUs = nowUs;
    due.push_back(sent);
    halsim::internal::RecordCanFrame(ToRecord(sent.frame, sent.periodMs, true));
    const uint64_t periodUs = static_cast<uint64_t>(repetition.periodMs) * kMicrosPerMilli;
    repetition.nextDueUs += periodUs;
    // A late wake-up (real time) resumes the rhythm instead of sending a burst.
    if (repetition.nextDueUs <= nowUs) repetition.nextDueUs = nowUs + periodUs;
  }
  ArmRepeaterLocked();
  return due;
}

void CanBus::RepeaterLoop() {
  while (true) {
    bool valid = false;
    Timing::Get().WaitForAlarm(m_repeater, &valid);
    for (const Repetition& repetition : TakeDueRepetitions(Timing::Get().Now())) {
      NotifySendObservers(repetition.frame, repetition.periodMs);
      NotifyFrameObservers(repetition.frame, repetition.periodMs, true);
    }
  }
}

void CanBus::Deliver(uint32_t messageID, const uint8_t* data, uint8_t dataSize) {
  CanFrame frame = MakeFrame(messageID, data, dataSize, Timing::Get().Now());
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    frame.sequence = ++m_sequence;
    m_newest[messageID] = frame;
    halsim::internal::RecordCanFrame(ToRecord(frame, 0, false));
  }
  NotifyFrameObservers(frame, 0, false);
}

void CanBus::NotifySendObservers(const CanFrame& frame, int32_t periodMs) {
  std::vector<SendObserver> observers;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    observers = m_sendObservers;
  }
  // Never a null data pointer, even for a stop-repeating call without data.
  const uint8_t* data = frame.size > 0 ? frame.data : kNoBytes;
  for (const SendObserver& observer : observers) {
    int32_t status = 0;
    observer.callback(kSendCallbackName, observer.param, frame.id, data, frame.size, periodMs,
                      &status);
  }
}

void CanBus::NotifyFrameObservers(const CanFrame& frame, int32_t periodMs, bool fromRobot) {
  std::vector<FrameObserver> observers;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    observers = m_frameObservers;
  }
  const uint8_t* data = frame.size > 0 ? frame.data : kNoBytes;
  for (const FrameObserver& observer : observers) {
    observer.callback(observer.param, frame.timestampUs, frame.id, data, frame.size, periodMs,
                      fromRobot ? 1 : 0);
  }
}

int32_t CanBus::Receive(uint32_t* messageID, uint32_t mask, uint8_t* data, uint8_t* dataSize,
                        uint32_t* timeStampMs) {
  if (messageID == nullptr || data == nullptr || dataSize == nullptr || timeStampMs == nullptr) {
    return HAL_ERR_CANSessionMux_InvalidBuffer;
  }
  halsim::CanReadRecord record;
  record.kind = halsim::CanReadKind::kReceiveMessage;
  record.messageID = *messageID;
  halsim::internal::CallCanReadHook(record);
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    const uint64_t key = ReceiveKey(*messageID, mask);
    uint64_t& lastRead = m_receiveRead[key];
    const CanFrame* best = nullptr;
    for (const auto& entry : m_newest) {
      const CanFrame& frame = entry.second;
      if ((frame.id & mask) != (*messageID & mask) || frame.sequence <= lastRead) continue;
      if (best == nullptr || frame.sequence > best->sequence) best = &frame;
    }
    if (best != nullptr) {
      lastRead = best->sequence;
      *messageID = best->id;
      std::memcpy(data, best->data, best->size);
      *dataSize = best->size;
      *timeStampMs = ToMillis(best->timestampUs);
      record.found = true;
    } else {
      *dataSize = 0;
    }
  }
  halsim::internal::RecordCanRead(record);
  return record.found ? HAL_SUCCESS : HAL_ERR_CANSessionMux_MessageNotFound;
}

int32_t CanBus::RegisterSendCallback(HAL_CAN_SendMessageCallback callback, void* param) {
  if (callback == nullptr) return 0;
  std::lock_guard<std::mutex> lock(m_mutex);
  const int32_t uid = m_nextObserverUid++;
  m_sendObservers.push_back({uid, callback, param});
  return uid;
}

void CanBus::CancelSendCallback(int32_t uid) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_sendObservers.erase(std::remove_if(m_sendObservers.begin(), m_sendObservers.end(),
                                       [uid](const SendObserver& o) { return o.uid == uid; }),
                        m_sendObservers.end());
}

int32_t CanBus::RegisterFrameCallback(HALSIM_CanFrameCallback callback, void* param) {
  if (callback == nullptr) return 0;
  std::lock_guard<std::mutex> lock(m_mutex);
  const int32_t uid = m_nextObserverUid++;
  m_frameObservers.push_back({uid, callback, param});
  return uid;
}

void CanBus::CancelFrameCallback(int32_t uid) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_frameObservers.erase(std::remove_if(m_frameObservers.begin(), m_frameObservers.end(),
                                        [uid](const FrameObserver& o) { return o.uid == uid; }),
                         m_frameObservers.end());
}

HAL_CANHandle CanBus::OpenDevice(uint32_t baseId) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_nextDevice == std::numeric_limits<HAL_CANHandle>::max()) return HAL_kInvalidHandle;
  const HAL_CANHandle handle = m_nextDevice++;  // never reused
  auto device = std::make_shared<Device>();
  device->baseId = baseId;
  device->openedAfter = m_sequence;
  m_devices.emplace(handle, std::move(device));
  return handle;
}

void CanBus::CloseDevice(HAL_CANHandle handle) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_devices.erase(handle);
}

std::shared_ptr<CanBus::Device> CanBus::FindDevice(HAL_CANHandle handle) const {
  auto found = m_devices.find(handle);
  return found == m_devices.end() ? nullptr : found->second;
}

bool CanBus::DeviceMessageId(HAL_CANHandle handle, int32_t apiId, uint32_t* messageID) {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::shared_ptr<Device> device = FindDevice(handle);
  if (!device) return false;
  *messageID = device->baseId | (static_cast<uint32_t>(apiId) & 0x3FFu) << 6;
  return true;
}

const CanFrame* CanBus::Newest(uint32_t messageID) const {
  auto found = m_newest.find(messageID);
  return found == m_newest.end() ? nullptr : &found->second;
}

bool CanBus::IsUnread(const Device& device, const CanFrame& frame) const {
  auto lastRead = device.lastRead.find(frame.id);
  const uint64_t seen = lastRead == device.lastRead.end() ? 0 : lastRead->second;
  return frame.sequence > std::max(seen, device.openedAfter);
}

const CanBus::CachedFrame* CanBus::ReceiveLocked(Device& device, uint32_t messageID) {
  const CanFrame* newest = Newest(messageID);
  if (newest == nullptr || !IsUnread(device, *newest)) return nullptr;
  device.lastRead[messageID] = newest->sequence;
  CachedFrame& cached = device.cache[messageID];
  std::memcpy(cached.data, newest->data, sizeof(cached.data));
  cached.size = newest->size;
  cached.timestampMs = ToMillis(newest->timestampUs);
  return &cached;
}

// The order and the age rules of WPILib's CAN API reads: a periodic read returns a
// cached frame younger than the period without receiving; every read then receives
// at most once; a timeout read falls back on a cached frame at most timeoutMs old
// (whole ms), a latest read on one of any age. A negative limit compares as a huge
// unsigned one, as there.
int32_t CanBus::ReadLocked(Device& device, uint32_t messageID, const ReadRequest& request,
                           const ReadOutputs& out) {
  auto copyOut = [&out](const CachedFrame& frame) {
    std::memcpy(out.data, frame.data, frame.size);
    *out.length = frame.size;
    *out.timestampMs = frame.timestampMs;
    return HAL_SUCCESS;
  };
  auto ageMs = [](const CachedFrame& frame) {
    return uint64_t{PacketTimeMs()} - frame.timestampMs;
  };
  auto cachedEntry = device.cache.find(messageID);
  const CachedFrame* cached = cachedEntry == device.cache.end() ? nullptr : &cachedEntry->second;

  if (request.kind == halsim::CanReadKind::kPeriodic && cached != nullptr &&
      ageMs(*cached) < static_cast<uint32_t>(request.periodMs)) {
    return copyOut(*cached);
  }
  if (const CachedFrame* received = ReceiveLocked(device, messageID)) return copyOut(*received);
  switch (request.kind) {
    case halsim::CanReadKind::kLatest:
      if (cached != nullptr) return copyOut(*cached);
      break;
    case halsim::CanReadKind::kTimeout:
    case halsim::CanReadKind::kPeriodic:
      if (cached == nullptr) break;
      if (ageMs(*cached) > static_cast<uint32_t>(request.timeoutMs)) return HAL_CAN_TIMEOUT;
      return copyOut(*cached);
    case halsim::CanReadKind::kNew:
    case halsim::CanReadKind::kReceiveMessage:
      // The receive's own outputs: an empty frame.
      *out.length = 0;
      *out.timestampMs = 0;
      break;
  }
  return HAL_ERR_CANSessionMux_MessageNotFound;
}

int32_t CanBus::Read(HAL_CANHandle handle, int32_t apiId, const ReadRequest& request, uint8_t* data,
                     int32_t* length, uint64_t* timestampMs) {
  halsim::CanReadRecord record;
  record.kind = request.kind;
  record.timeoutMs = request.timeoutMs;
  record.periodMs = request.periodMs;
  if (!DeviceMessageId(handle, apiId, &record.messageID)) return HAL_HANDLE_ERROR;
  halsim::internal::CallCanReadHook(record);
  int32_t status = HAL_SUCCESS;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::shared_ptr<Device> device = FindDevice(handle);
    if (!device) return HAL_HANDLE_ERROR;
    status = ReadLocked(*device, record.messageID, request, {data, length, timestampMs});
  }
  record.found = status == HAL_SUCCESS;
  halsim::internal::RecordCanRead(record);
  return status;
}

}  // namespace hal
