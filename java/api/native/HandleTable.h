// The objects a Java program holds, by handle: Java keeps an int, never a
// pointer, so a call with the handle of a closed object finds nothing instead
// of a freed object, and the handle of a new object on the same slot (the
// same device number or not) never matches an old one.
//
// A handle is (generation << kIndexBits) | (slot + 1), slots 0 .. 2^kIndexBits - 2:
// positive, never 0 (0
// stands for "no object", which Java passes after close() or for null).
// Each close bumps the slot's generation, so an old handle goes stale for
// good (the generation wraps after 2^21 closes of one slot).
//
// Threads: Add and Remove take the table's lock; Get takes none (two atomic
// loads), so the call it serves costs no lock. The object behind a handle
// obeys its own thread rule: one thread at a time for an object and its
// close(), as for the C++ object; a call that races with the close() of the
// same object on another thread is outside that rule. Allocation: Add takes
// an object already made; the table itself allocates nothing.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace tavrix::jni {

template <typename T, int kIndexBits = 10>
class HandleTable {
 public:
  static constexpr int kSlots = 1 << kIndexBits;
  static constexpr uint32_t kGenerationMask = (1u << (31 - kIndexBits)) - 1u;

  HandleTable() = default;
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;
  // Objects still in the table at exit are left alone (not destroyed): their
  // destructors would run after the HAL and the JVM are gone.
  ~HandleTable() = default;

  // The handle of object, now owned by the table; 0 (object destroyed) when
  // every slot is taken or object is empty.
  int32_t Add(std::unique_ptr<T> object) {
    if (!object) return 0;
    std::scoped_lock lock{mutex_};
    for (int index = 0; index < kSlots - 1; ++index) {
      Slot& slot = slots_[static_cast<size_t>(index)];
      if (slot.object.load(std::memory_order_relaxed) != nullptr) continue;
      const uint32_t generation = slot.generation.load(std::memory_order_relaxed);
      slot.object.store(object.release(), std::memory_order_release);
      return MakeHandle(generation, index);
    }
    return 0;
  }

  // The object behind handle, or nullptr for 0, a stale or a malformed handle.
  T* Get(int32_t handle) const {
    if (handle <= 0) return nullptr;
    const int index = (handle & (kSlots - 1)) - 1;
    if (index < 0) return nullptr;
    const Slot& slot = slots_[static_cast<size_t>(index)];
    const auto generation = static_cast<uint32_t>(handle) >> kIndexBits;
    if (slot.generation.load(std::memory_order_acquire) != generation) return nullptr;
    return slot.object.load(std::memory_order_acquire);
  }

  // Takes the object out (the caller destroys it) and makes handle stale;
  // empty when handle names no object.
  std::unique_ptr<T> Remove(int32_t handle) {
    std::scoped_lock lock{mutex_};
    T* object = Get(handle);
    if (object == nullptr) return nullptr;
    Slot& slot = slots_[static_cast<size_t>((handle & (kSlots - 1)) - 1)];
    slot.generation.store((slot.generation.load(std::memory_order_relaxed) + 1u) & kGenerationMask,
                          std::memory_order_release);
    slot.object.store(nullptr, std::memory_order_release);
    return std::unique_ptr<T>(object);
  }

 private:
  struct Slot {
    std::atomic<uint32_t> generation{0};
    std::atomic<T*> object{nullptr};
  };

  static int32_t MakeHandle(uint32_t generation, int index) {
    return static_cast<int32_t>((generation << kIndexBits) | static_cast<uint32_t>(index + 1));
  }

  std::mutex mutex_;
  std::array<Slot, static_cast<size_t>(kSlots)> slots_{};
};

}  // namespace tavrix::jni
