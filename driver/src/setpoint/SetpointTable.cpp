// The setpoint table's sequence-counted stores and loads.
#include "setpoint/SetpointTable.h"

#include <thread>

namespace zem::driver {
namespace {

constexpr bool StoreInProgress(uint32_t sequence) { return (sequence & 1u) != 0; }

}  // namespace

// Acquire/release on every field (rather than fences) keeps ThreadSanitizer
// able to follow the ordering.
void SetpointTable::Store(int deviceNumber, const SetpointContent& content) {
  std::atomic<uint32_t>& sequence = m_sequence[deviceNumber];
  const uint32_t stable = sequence.load(std::memory_order_relaxed);
  sequence.store(stable + 1, std::memory_order_relaxed);
  // Each release store orders the odd count before it, so a reader that sees
  // any new field also sees the count move.
  m_value[deviceNumber].store(content.value, std::memory_order_release);
  m_apiId[deviceNumber].store(content.apiId, std::memory_order_release);
  m_pidSlot[deviceNumber].store(content.pidSlot, std::memory_order_release);
  m_aux[deviceNumber].store(content.aux, std::memory_order_release);
  sequence.store(stable + 2, std::memory_order_release);
}

bool SetpointTable::TryLoad(int deviceNumber, SetpointContent& content) const {
  const std::atomic<uint32_t>& sequence = m_sequence[deviceNumber];
  const uint32_t before = sequence.load(std::memory_order_acquire);
  if (StoreInProgress(before)) return false;
  content.value = m_value[deviceNumber].load(std::memory_order_acquire);
  content.apiId = m_apiId[deviceNumber].load(std::memory_order_acquire);
  content.pidSlot = m_pidSlot[deviceNumber].load(std::memory_order_acquire);
  content.aux = m_aux[deviceNumber].load(std::memory_order_acquire);
  return sequence.load(std::memory_order_relaxed) == before;
}

bool SetpointReader::Load(int deviceNumber, SetpointContent& content) {
  for (int attempt = 0; attempt < kReadTries; ++attempt) {
    SetpointContent fresh;
    if (m_table.TryLoad(deviceNumber, fresh)) {
      m_lastRead[deviceNumber] = fresh;
      m_readMask |= DeviceBit(deviceNumber);
      content = fresh;
      return true;
    }
    // A writer is between its two counts; it holds no lock the sender could
    // wait on, so give it the core and try again.
    std::this_thread::yield();
  }
  if ((m_readMask & DeviceBit(deviceNumber)) == 0) return false;
  content = m_lastRead[deviceNumber];
  return true;
}

}  // namespace zem::driver
