// The device registry word: which device numbers the driver serves. The word is
// exported as a plain 64-bit variable, so every access here goes through the
// compiler's atomic builtins to stay race-free against the driver's threads.
#pragma once

#include <cstdint>

#include <tavrix/Wire.h>

namespace zem::driver {

// The driver acts on these device numbers only; 0 and 63 are never served.
constexpr int32_t kFirstDeviceNumber = 1;
constexpr int32_t kLastDeviceNumber = 62;
// Table size: one slot per 6-bit device number.
constexpr int kDeviceSlots = static_cast<int>(wire::kDeviceMask) + 1;

constexpr bool IsServedDeviceNumber(int32_t deviceNumber) {
  return deviceNumber >= kFirstDeviceNumber && deviceNumber <= kLastDeviceNumber;
}

constexpr uint64_t DeviceBit(int deviceNumber) {
  return uint64_t{1} << static_cast<unsigned>(deviceNumber);
}

constexpr bool IsRegistered(uint64_t registryWord, int deviceNumber) {
  return (registryWord & DeviceBit(deviceNumber)) != 0;
}

// On the 32-bit controller too the builtins must be the processor's own
// 64-bit atomic instructions (ARMv7's exclusive doubleword pair, which needs
// an 8-byte-aligned word), not a lock hidden in a helper library that other
// users of the exported word know nothing of. A 32-bit ARM build without
// -march=armv7-a (or later) fails here.
static_assert(__atomic_always_lock_free(sizeof(uint64_t), nullptr),
              "the registry word needs lock-free 64-bit atomics on this target");

inline uint64_t LoadRegistry(const uint64_t* word) {
  return __atomic_load_n(word, __ATOMIC_ACQUIRE);
}

// The atomic builtins write through `word`, which clang-tidy does not see.
// NOLINTNEXTLINE(readability-non-const-parameter)
inline void SetRegistryBit(uint64_t* word, int deviceNumber) {
  __atomic_fetch_or(word, DeviceBit(deviceNumber), __ATOMIC_ACQ_REL);
}

// NOLINTNEXTLINE(readability-non-const-parameter)
inline void ClearRegistryBit(uint64_t* word, int deviceNumber) {
  __atomic_fetch_and(word, ~DeviceBit(deviceNumber), __ATOMIC_ACQ_REL);
}

}  // namespace zem::driver
