// The simulated CAN bus: newest frame per id from the device side, robot sends with
// repetition, observers, and the device handles of the CAN API with their read
// caches. One process-wide object; its lock is never held while an observer or the
// read hook runs. No read ever waits.
#pragma once

#include <stdint.h>

#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "hal/CANAPITypes.h"
#include "hal/Types.h"
#include "hal/simulation/CanData.h"
#include "hal/simulation/SimRecords.h"

namespace hal {

constexpr uint8_t kMaxFrameBytes = 8;

struct CanFrame {
  uint32_t id = 0;
  uint8_t size = 0;
  uint8_t data[kMaxFrameBytes] = {};
  uint64_t timestampUs = 0;
  uint64_t sequence = 0;  // order of arrival on the bus, from 1
};

// What a read asks for: which frames count, and the age limits (ms) of a cached one.
struct ReadRequest {
  halsim::CanReadKind kind = halsim::CanReadKind::kNew;
  int32_t timeoutMs = 0;
  int32_t periodMs = 0;
};

class CanBus {
 public:
  static CanBus& Get();

  // Returns a HAL status.
  int32_t Send(uint32_t messageID, const uint8_t* data, uint8_t dataSize, int32_t periodMs);
  void Deliver(uint32_t messageID, const uint8_t* data, uint8_t dataSize);
  int32_t Receive(uint32_t* messageID, uint32_t mask, uint8_t* data, uint8_t* dataSize,
                  uint32_t* timeStampMs);

  int32_t RegisterSendCallback(HAL_CAN_SendMessageCallback callback, void* param);
  void CancelSendCallback(int32_t uid);
  int32_t RegisterFrameCallback(HALSIM_CanFrameCallback callback, void* param);
  void CancelFrameCallback(int32_t uid);

  // Forgets every frame on the bus, every repetition and what each handle read;
  // handles, observers and the trace stay.
  void ResetContent();

  HAL_CANHandle OpenDevice(uint32_t baseId);
  void CloseDevice(HAL_CANHandle handle);
  // Arbitration id of apiId on the device; false for an unknown handle.
  bool DeviceMessageId(HAL_CANHandle handle, int32_t apiId, uint32_t* messageID);
  // Returns a HAL status and writes the outputs as WPILib's CAN API does: a frame
  // (its bytes, length and ms timestamp) on success; length and timestamp 0 when a
  // "new" read finds nothing; otherwise nothing. The pointers are not null.
  int32_t Read(HAL_CANHandle handle, int32_t apiId, const ReadRequest& request, uint8_t* data,
               int32_t* length, uint64_t* timestampMs);

 private:
  struct SendObserver {
    int32_t uid;
    HAL_CAN_SendMessageCallback callback;
    void* param;
  };
  struct FrameObserver {
    int32_t uid;
    HALSIM_CanFrameCallback callback;
    void* param;
  };
  struct Repetition {
    CanFrame frame;
    int32_t periodMs = 0;
    uint64_t nextDueUs = 0;
  };
  // The newest frame a handle received for a message id, with its ms timestamp.
  struct CachedFrame {
    uint8_t data[kMaxFrameBytes] = {};
    uint8_t size = 0;
    uint64_t timestampMs = 0;  // 32-bit ms of the FPGA clock, as the receive gives it
  };
  struct Device {
    uint32_t baseId = 0;
    uint64_t openedAfter = 0;  // frames with a higher sequence arrived after opening
    std::unordered_map<uint32_t, uint64_t> lastRead;  // by message id: sequence read
    std::unordered_map<uint32_t, CachedFrame> cache;  // by message id
  };
  struct ReadOutputs {
    uint8_t* data;
    int32_t* length;
    uint64_t* timestampMs;
  };
  CanBus() = default;

  void Publish(const CanFrame& frame, int32_t periodMs, bool fromRobot);
  void NotifySendObservers(const CanFrame& frame, int32_t periodMs);
  void NotifyFrameObservers(const CanFrame& frame, int32_t periodMs, bool fromRobot);
  void UpdateRepetition(const CanFrame& frame, int32_t periodMs);
  void ArmRepeaterLocked();
  void StartRepeaterLocked();
  void RepeaterLoop();
  std::vector<Repetition> TakeDueRepetitions(uint64_t nowUs);
  const CanFrame* Newest(uint32_t messageID) const;
  bool IsUnread(const Device& device, const CanFrame& frame) const;
  const CachedFrame* ReceiveLocked(Device& device, uint32_t messageID);
  int32_t ReadLocked(Device& device, uint32_t messageID, const ReadRequest& request,
                     const ReadOutputs& out);
  std::shared_ptr<Device> FindDevice(HAL_CANHandle handle) const;

  std::mutex m_mutex;
  std::unordered_map<uint32_t, CanFrame> m_newest;
  uint64_t m_sequence = 0;
  std::map<uint64_t, uint64_t> m_receiveRead;  // (id & mask, mask) -> sequence read
  std::vector<SendObserver> m_sendObservers;
  std::vector<FrameObserver> m_frameObservers;
  int32_t m_nextObserverUid = 1;
  std::map<uint32_t, Repetition> m_repetitions;
  HAL_NotifierHandle m_repeater = HAL_kInvalidHandle;
  std::map<HAL_CANHandle, std::shared_ptr<Device>> m_devices;
  HAL_CANHandle m_nextDevice = 1;
};

}  // namespace hal
