// Test helper: the driver library loaded with dlopen (RTLD_LOCAL) and its C
// interface resolved by name, for tests that load and unload the library
// themselves (the executable defines TAVRIX_DRIVER_LIBRARY, its path).
#pragma once

#include <dlfcn.h>

#include <cstdint>

#include "frame_counter.h"

namespace tavrix_test {

class LoadedDriver {
 public:
  LoadedDriver() : handle_(dlopen(TAVRIX_DRIVER_LIBRARY, RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr) return;
    registry_ = static_cast<uint64_t*>(dlsym(handle_, "ZEM_CANRegisteredDevices"));
    register_ = Function<void (*)(int32_t)>("ZEM_CANTavrixRegisterDevice");
    setPeriod_ = Function<void (*)(int32_t, int32_t)>("ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs");
    runHeartbeat_ = Function<int32_t (*)()>("ZEM_CANTavrixRunHeartbeat");
    runSetDriver_ = Function<int32_t (*)()>("ZEM_CANTavrixRunSetDriver");
  }
  LoadedDriver(const LoadedDriver&) = delete;
  LoadedDriver& operator=(const LoadedDriver&) = delete;

  bool Loaded() const {
    return handle_ != nullptr && registry_ != nullptr && register_ != nullptr &&
           setPeriod_ != nullptr && runHeartbeat_ != nullptr && runSetDriver_ != nullptr;
  }
  // The registry word of this load, read atomically as the threads read it.
  uint64_t Registry() const { return __atomic_load_n(registry_, __ATOMIC_ACQUIRE); }

  // Registers the device with a period and starts both threads.
  void Serve(int32_t device, int32_t periodMs) {
    register_(device);
    setPeriod_(device, periodMs);
    heartbeatResult_ = runHeartbeat_();
    setDriverResult_ = runSetDriver_();
  }
  int32_t HeartbeatStartResult() const { return heartbeatResult_; }
  int32_t SetDriverStartResult() const { return setDriverResult_; }

  // dlclose; true when it reported success.
  bool Close() {
    void* handle = handle_;
    handle_ = nullptr;
    return handle != nullptr && dlclose(handle) == 0;
  }

 private:
  template <typename F>
  F Function(const char* name) {
    return reinterpret_cast<F>(dlsym(handle_, name));
  }

  void* handle_;
  uint64_t* registry_ = nullptr;
  void (*register_)(int32_t) = nullptr;
  void (*setPeriod_)(int32_t, int32_t) = nullptr;
  int32_t (*runHeartbeat_)() = nullptr;
  int32_t (*runSetDriver_)() = nullptr;
  int32_t heartbeatResult_ = 0;
  int32_t setDriverResult_ = 0;
};

// True while some copy of the driver library is mapped in this process.
inline bool DriverLibraryMapped() {
  void* handle = dlopen(TAVRIX_DRIVER_LIBRARY, RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);  // drops the reference RTLD_NOLOAD took
  return true;
}

}  // namespace tavrix_test
