#include "responder.h"

#include <algorithm>
#include <cstring>

#include <hal/CAN.h>
#include <hal/HALBase.h>

#include "platform_sim.h"

namespace realwpilib {

namespace wire = zem::wire;

Responder& Responder::Install() {
  static Responder* const responder = new Responder();
  return *responder;
}

Responder::Responder() {
  HAL_Initialize(500, 0);
  // Enabled, so the heartbeat carries the registered devices: WPILib 2026's
  // simulation starts disabled (2019's HAL counts as enabled all along).
  HALSIM_SetDriverStationEnabled(1);
  HALSIM_RegisterCanSendMessageCallback(&Responder::OnSend, this);
  HALSIM_RegisterCanReceiveMessageCallback(&Responder::OnReceive, this);
  m_thread = std::thread([this] { Run(); });
}

void Responder::HoldParameter(int32_t parameterId, uint32_t word) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_parameters[parameterId] = word;
}

void Responder::SetSilent(bool silent) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_silent = silent;
}

void Responder::FailSends(int32_t status) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_sendStatus = status;
}

void Responder::Publish(uint32_t id, const wire::Payload& data, uint8_t size) {
  int32_t status = 0;
  const auto nowMs = static_cast<uint32_t>(HAL_GetFPGATime(&status) / 1000);
  std::lock_guard<std::mutex> lock(m_lock);
  m_arrived[id] = Arrived{data, size, nowMs};
}

Frames Responder::Sent() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_sent;
}

bool Responder::WaitFor(const std::function<bool(const Frames&)>& done,
                        std::chrono::milliseconds bound) const {
  std::unique_lock<std::mutex> lock(m_lock);
  return m_changed.wait_for(lock, bound, [&] { return done(m_sent); });
}

void Responder::OnSend(const char*, void* param, uint32_t messageId, const uint8_t* data,
                       uint8_t dataSize, int32_t periodMs, int32_t* status) {
  SentFrame frame;
  frame.id = messageId;
  frame.size = dataSize;
  if (data != nullptr) frame.data = wire::PadPayload(data, dataSize);
  frame.periodMs = periodMs;
  frame.at = std::chrono::steady_clock::now();
  *status = static_cast<Responder*>(param)->Record(frame);
}

int32_t Responder::Record(const SentFrame& frame) {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    // A refused controller frame never reaches the bus.
    if (m_sendStatus != 0 && wire::IsControllerId(frame.id)) return m_sendStatus;
    m_sent.push_back(frame);
    Reply reply{};
    if (!m_silent && Answer(frame, reply)) m_pending.push_back(reply);
  }
  m_changed.notify_all();
  return 0;
}

// Called with the lock held. Parameter writes update the held value.
bool Responder::Answer(const SentFrame& request, Reply& reply) {
  // Stop messages (period -1) ask for nothing.
  if (!wire::IsControllerId(request.id) || request.periodMs < 0) return false;
  const int32_t api = wire::ApiOf(request.id);
  reply.id = request.id;
  reply.due = request.at + kReplyDelay;
  if (api == wire::api::kFirmwareVersion && request.size == 0) {
    const auto firmware = wire::EncodeFirmware(kFirmware, false);
    std::copy(firmware.begin(), firmware.end(), reply.data.begin());
    reply.size = wire::kFirmwareReplyLength;
    return true;
  }
  if (wire::IsParameterApi(api) && request.size == wire::kValueFrameLength) {
    m_parameters[wire::ParameterIdOf(api)] = wire::DecodeValueFrame(request.data.data(), 5).word;
    return false;
  }
  if (wire::IsParameterApi(api) && request.size == 0) {
    const auto value =
        wire::EncodeValueFrame(m_parameters[wire::ParameterIdOf(api)], wire::type::kUint32);
    std::copy(value.begin(), value.end(), reply.data.begin());
    reply.size = wire::kValueFrameLength;
    return true;
  }
  if (api == wire::api::kFollower && request.size == 8) {
    reply.data = request.data;  // the controller echoes the command
    reply.size = 8;
    return true;
  }
  return false;
}

// The HAL's callback type fixes the signature: messageId is only read here.
// NOLINTNEXTLINE(readability-non-const-parameter)
void Responder::OnReceive(const char*, void* param, uint32_t* messageId, uint32_t messageIdMask,
                          uint8_t* data, uint8_t* dataSize, uint32_t* timeStamp, int32_t* status) {
  auto* self = static_cast<Responder*>(param);
  std::lock_guard<std::mutex> lock(self->m_lock);
  const auto found = self->m_arrived.find(*messageId & messageIdMask);
  if (found == self->m_arrived.end()) {
    *status = HAL_ERR_CANSessionMux_MessageNotFound;
    return;
  }
  std::memcpy(data, found->second.data.data(), found->second.size);
  *dataSize = found->second.size;
  *timeStamp = found->second.timestampMs;
  *status = 0;
  self->m_arrived.erase(found);  // each reply is read once
}

void Responder::Run() {
  std::unique_lock<std::mutex> lock(m_lock);
  for (;;) {
    m_changed.wait(lock, [this] { return !m_pending.empty(); });
    const auto due = m_pending.front().due;
    if (std::chrono::steady_clock::now() < due) {
      m_changed.wait_until(lock, due);
      continue;  // a newer request cannot be due sooner, but look again
    }
    const Reply reply = m_pending.front();
    m_pending.pop_front();
    int32_t status = 0;
    const auto nowMs = static_cast<uint32_t>(HAL_GetFPGATime(&status) / 1000);
    m_arrived[reply.id] = Arrived{reply.data, reply.size, nowMs};
  }
}

Frames DriverFrames(const Frames& frames) {
  Frames driver;
  for (const SentFrame& f : frames) {
    const bool setpointId = std::find(wire::kSetpointApiIds.begin(), wire::kSetpointApiIds.end(),
                                      wire::ApiOf(f.id)) != wire::kSetpointApiIds.end();
    if (f.id == wire::kHeartbeatId || (wire::IsControllerId(f.id) && setpointId)) {
      driver.push_back(f);
    }
  }
  return driver;
}

}  // namespace realwpilib
