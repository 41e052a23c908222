// The setpoint table: per device number, the content of its setpoint frame
// and its control-frame period. Writers (the exported functions, holding the
// setpoint lock) and the sender thread (holding no lock) meet here; a
// per-device sequence counter makes the sender's copy of one device's frame
// content come from a single store. Every field is an atomic, zero until
// first written.
#pragma once

#include <atomic>
#include <cstdint>

#include "common/DeviceRegistry.h"

namespace zem::driver {

// The sender thread reads the table without a lock, so every field must be
// lock-free on the target, the 64-bit periods on the 32-bit controller too.
static_assert(std::atomic<float>::is_always_lock_free &&
                  std::atomic<int16_t>::is_always_lock_free &&
                  std::atomic<uint8_t>::is_always_lock_free &&
                  std::atomic<int32_t>::is_always_lock_free &&
                  std::atomic<uint64_t>::is_always_lock_free,
              "the setpoint table needs lock-free atomics on this target");

// What one frame carries besides the device number.
struct SetpointContent {
  float value = 0.0f;
  int32_t apiId = 0;
  uint8_t pidSlot = 0;
  int16_t aux = 0;
};

// Its only constructor is the implicit one, and it writes nothing a static
// object's zero-initialisation has not already written: a table with static
// storage is ready before any code of the process runs.
class SetpointTable {
 public:
  // Writer side: the caller holds the setpoint lock, so writers never overlap.
  void Store(int deviceNumber, const SetpointContent& content);
  // Control-frame period in microseconds; 0 means the device's frame is not sent.
  void SetPeriodUs(int deviceNumber, uint64_t periodUs) {
    m_periodUs[deviceNumber].store(periodUs, std::memory_order_relaxed);
  }

  // Reader side, any thread, no lock, no wait.
  uint64_t PeriodUs(int deviceNumber) const {
    return m_periodUs[deviceNumber].load(std::memory_order_relaxed);
  }
  // False when a store was under way (the copy may be torn); then try again.
  bool TryLoad(int deviceNumber, SetpointContent& content) const;

 private:
  std::atomic<float> m_value[kDeviceSlots];
  std::atomic<int16_t> m_aux[kDeviceSlots];
  std::atomic<uint8_t> m_pidSlot[kDeviceSlots];
  std::atomic<int32_t> m_apiId[kDeviceSlots];
  std::atomic<uint64_t> m_periodUs[kDeviceSlots];
  // Per device: even while the content is stable, odd while a store is under way.
  std::atomic<uint32_t> m_sequence[kDeviceSlots];
};

// The sender thread's reads of the table, lock-free and bounded: the sender
// must not spin on a writer that was preempted between its two counts (the
// sender may run at a higher priority than the writer and keep it off the
// core). Each read that completes is kept per device; when a writer stays
// mid-store for all tries, the last completed copy goes out instead, which is
// a frame robot code did store. Only the sender thread uses a reader.
class SetpointReader {
 public:
  // Tries per read before falling back to the last completed copy.
  static constexpr int kReadTries = 64;

  explicit SetpointReader(const SetpointTable& table) : m_table(table) {}

  // False only when no read of this device ever completed: there is no
  // content it is known robot code stored, so the device is skipped this time.
  bool Load(int deviceNumber, SetpointContent& content);

 private:
  const SetpointTable& m_table;
  SetpointContent m_lastRead[kDeviceSlots] = {};
  uint64_t m_readMask = 0;  // bit d set once a read of device d completed
};

}  // namespace zem::driver
