// The setpoint sender's per-device tables: five parallel arrays of 64 entries
// indexed by device number. Writers (holding the setpoint lock) and the sender
// thread (holding no lock) meet here; a per-device sequence counter makes the
// sender's copy of one device's frame content come from a single store.
#pragma once

#include <atomic>
#include <cstdint>

#include "DeviceRegistry.h"

namespace zem::driver {

extern std::atomic<float> setpointValue[kDeviceSlots];
extern std::atomic<int16_t> setpointAux[kDeviceSlots];
extern std::atomic<uint8_t> setpointPidSlot[kDeviceSlots];
extern std::atomic<int32_t> setpointApiId[kDeviceSlots];
// Control-frame period in microseconds; 0 means the device's frame is not sent.
extern std::atomic<uint64_t> ctrlFramePeriodUs[kDeviceSlots];

// The sender thread reads the tables without a lock, so every one of them must
// be lock-free on the target, the 64-bit periods on the 32-bit controller too.
static_assert(std::atomic<float>::is_always_lock_free && std::atomic<int16_t>::is_always_lock_free &&
                  std::atomic<uint8_t>::is_always_lock_free &&
                  std::atomic<int32_t>::is_always_lock_free &&
                  std::atomic<uint64_t>::is_always_lock_free,
              "the setpoint tables need lock-free atomics on this target");

// What one frame carries besides the device number.
struct SetpointContent {
  float value = 0.0f;
  int32_t apiId = 0;
  uint8_t pidSlot = 0;
  int16_t aux = 0;
};

// The four content tables as the sender thread sees them.
struct SetpointTableView {
  const std::atomic<float>* value;
  const std::atomic<int16_t>* aux;
  const std::atomic<uint8_t>* pidSlot;
  const std::atomic<int32_t>* apiId;
};

// Writer side: the caller holds the setpoint lock, so writers never overlap.
void StoreSetpoint(int deviceNumber, const SetpointContent& content);

// Reader side, lock-free: returns the content of one completed store.
SetpointContent LoadSetpoint(const SetpointTableView& tables, int deviceNumber);

}  // namespace zem::driver
