// The setpoint sender's per-device tables: five parallel arrays of 64 entries
// indexed by device number, and the per-device sequence counter that guards
// the four content arrays. Writers (holding the setpoint lock) and the sender
// thread (holding no lock) meet here; the counter makes the sender's copy of
// one device's frame content come from a single store.
#pragma once

#include <atomic>
#include <cstdint>

#include "common/DeviceRegistry.h"

namespace zem::driver {

extern std::atomic<float> setpointValue[kDeviceSlots];
extern std::atomic<int16_t> setpointAux[kDeviceSlots];
extern std::atomic<uint8_t> setpointPidSlot[kDeviceSlots];
extern std::atomic<int32_t> setpointApiId[kDeviceSlots];
// Control-frame period in microseconds; 0 means the device's frame is not sent.
extern std::atomic<uint64_t> ctrlFramePeriodUs[kDeviceSlots];

// The sender thread reads the tables without a lock, so every one of them must
// be lock-free on the target, the 64-bit periods on the 32-bit controller too.
static_assert(std::atomic<float>::is_always_lock_free &&
                  std::atomic<int16_t>::is_always_lock_free &&
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

// The four content tables as the sender thread was handed them.
struct SetpointTableView {
  const std::atomic<float>* value;
  const std::atomic<int16_t>* aux;
  const std::atomic<uint8_t>* pidSlot;
  const std::atomic<int32_t>* apiId;
};

// Writer side: the caller holds the setpoint lock, so writers never overlap.
void StoreSetpoint(int deviceNumber, const SetpointContent& content);

// Reader side, lock-free and bounded: the sender thread must not spin on a
// writer that was preempted between its two counts (the sender may run at a
// higher priority than the writer and keep it off the core). Each read that
// completes is kept per device; when a writer stays mid-store for all tries,
// the last completed copy goes out instead, which is a frame robot code did
// store. Only the sender thread uses a reader.
class SetpointReader {
 public:
  // Tries per read before falling back to the last completed copy.
  static constexpr int kReadTries = 64;

  explicit SetpointReader(const SetpointTableView& tables) : m_tables(tables) {}

  // False only when no read of this device ever completed: there is no
  // content it is known robot code stored, so the device is skipped this time.
  bool Load(int deviceNumber, SetpointContent& content);

 private:
  bool TryLoad(int deviceNumber, SetpointContent& content) const;

  SetpointTableView m_tables;
  SetpointContent m_lastRead[kDeviceSlots] = {};
  uint64_t m_readMask = 0;  // bit d set once a read of device d completed
};

}  // namespace zem::driver
