// Sequence-counted stores and loads of a device's setpoint frame content.
#include "SetpointSlots.h"

#include <thread>

namespace zem::driver {
namespace {

// Per device: even while the slot is stable, odd while a store is under way.
// Acquire/release on every field (rather than fences) keeps ThreadSanitizer
// able to follow the ordering.
std::atomic<uint32_t> setpointSequence[kDeviceSlots];

constexpr bool StoreInProgress(uint32_t sequence) { return (sequence & 1u) != 0; }

}  // namespace

void StoreSetpoint(int deviceNumber, const SetpointContent& content) {
  std::atomic<uint32_t>& sequence = setpointSequence[deviceNumber];
  const uint32_t stable = sequence.load(std::memory_order_relaxed);
  sequence.store(stable + 1, std::memory_order_relaxed);
  // Each release store orders the odd count before it, so a reader that sees
  // any new field also sees the count move.
  setpointValue[deviceNumber].store(content.value, std::memory_order_release);
  setpointApiId[deviceNumber].store(content.apiId, std::memory_order_release);
  setpointPidSlot[deviceNumber].store(content.pidSlot, std::memory_order_release);
  setpointAux[deviceNumber].store(content.aux, std::memory_order_release);
  sequence.store(stable + 2, std::memory_order_release);
}

SetpointContent LoadSetpoint(const SetpointTableView& tables, int deviceNumber) {
  const std::atomic<uint32_t>& sequence = setpointSequence[deviceNumber];
  for (;;) {
    const uint32_t before = sequence.load(std::memory_order_acquire);
    if (!StoreInProgress(before)) {
      SetpointContent content;
      content.value = tables.value[deviceNumber].load(std::memory_order_acquire);
      content.apiId = tables.apiId[deviceNumber].load(std::memory_order_acquire);
      content.pidSlot = tables.pidSlot[deviceNumber].load(std::memory_order_acquire);
      content.aux = tables.aux[deviceNumber].load(std::memory_order_acquire);
      if (sequence.load(std::memory_order_relaxed) == before) return content;
    }
    // A writer is between its two counts; it holds no lock the sender could
    // wait on, so give it the core and try again.
    std::this_thread::yield();
  }
}

}  // namespace zem::driver
