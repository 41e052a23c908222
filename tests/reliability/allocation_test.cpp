// The driver's heartbeat and setpoint loops allocate nothing once running.
// Every allocation made on a thread other than the test's own is counted: in
// plain builds by replacing malloc, calloc, realloc and operator new, in
// sanitizer builds (whose runtime owns malloc) through the sanitizer's
// allocation hooks. The executable also replaces HAL_CAN_SendMessage, which
// the driver's calls resolve to, so that frames are counted without a bus
// callback (the bus copies its callback list on every send).
#include <dlfcn.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <thread>

#include <gtest/gtest.h>
#include <hal/CAN.h>
#include <hal/simulation/DriverStationData.h>
#include <hal/simulation/MockHooks.h>
#include <hal/simulation/SimRecords.h>

#include "tavrix/TavrixDriver.h"
#include "tavrix/Wire.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TAVRIX_SANITIZED_ALLOCATOR 1
// The sanitizer runtimes' hook interface (GCC ships no header for it).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*,
                                                                            size_t),
                                                         void (*freeHook)(const volatile void*));
#endif

namespace {

std::atomic<bool> gCounting{false};
std::atomic<uint64_t> gForeignAllocations{0};
// Set on the test's own thread, whose stepping of the clock may allocate.
thread_local bool tExcludedThread = false;

void NoteAllocation() {
  if (gCounting.load(std::memory_order_relaxed) && !tExcludedThread) {
    gForeignAllocations.fetch_add(1, std::memory_order_relaxed);
  }
}

}  // namespace

#ifdef TAVRIX_SANITIZED_ALLOCATOR
namespace {
void OnMalloc(const volatile void* /*ptr*/, size_t /*size*/) { NoteAllocation(); }
void OnFree(const volatile void* /*ptr*/) {}
const int gHooksInstalled = __sanitizer_install_malloc_and_free_hooks(&OnMalloc, &OnFree);
}  // namespace
#else
extern "C" {
// glibc's own allocator entry points, which the replacements below forward to.
void* __libc_malloc(size_t size);                // NOLINT(bugprone-reserved-identifier)
void* __libc_calloc(size_t nmemb, size_t size);  // NOLINT(bugprone-reserved-identifier)
void* __libc_realloc(void* ptr, size_t size);    // NOLINT(bugprone-reserved-identifier)

void* malloc(size_t size) {
  NoteAllocation();
  return __libc_malloc(size);
}
void* calloc(size_t nmemb, size_t size) {  // stdlib.h's parameter names
  NoteAllocation();
  return __libc_calloc(nmemb, size);
}
void* realloc(void* ptr, size_t size) {
  NoteAllocation();
  return __libc_realloc(ptr, size);
}
}  // extern "C"

void* operator new(size_t size) {
  NoteAllocation();
  void* p = __libc_malloc(size == 0 ? 1 : size);
  if (p == nullptr) std::abort();  // no exceptions in this project
  return p;
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
#endif

namespace {

using SendFunction = void (*)(uint32_t, const uint8_t*, uint8_t, int32_t, int32_t*);
SendFunction gRealSend = nullptr;
std::atomic<uint64_t> gHeartbeats{0};
std::atomic<uint64_t> gSetpointFrames{0};

}  // namespace

extern "C" void HAL_CAN_SendMessage(uint32_t messageID, const uint8_t* data, uint8_t dataSize,
                                    int32_t periodMs, int32_t* status) {
  if (messageID == zem::wire::kHeartbeatId) {
    gHeartbeats.fetch_add(1, std::memory_order_relaxed);
  } else if (periodMs == HAL_CAN_SEND_PERIOD_NO_REPEAT) {
    gSetpointFrames.fetch_add(1, std::memory_order_relaxed);
  }
  gRealSend(messageID, data, dataSize, periodMs, status);
}

namespace {

constexpr int kDevices = 62;
constexpr int32_t kPeriodMs = 10;
constexpr uint64_t kPeriodUs = 10000;
constexpr int kPasses = 1000;  // ten seconds of stepped time
constexpr uint64_t kWarmUpUs = 200000;

class ReliabilityAllocation : public ::testing::Test {
 protected:
  void SetUp() override {
    tExcludedThread = true;
    gRealSend = reinterpret_cast<SendFunction>(dlsym(RTLD_NEXT, "HAL_CAN_SendMessage"));
    ASSERT_NE(gRealSend, nullptr);
    HALSIM_PauseTiming();
    halsim::SetCanTraceEnabled(false);  // the trace grows, so records allocate
  }
};

TEST_F(ReliabilityAllocation, TheCounterSeesAnAllocationOnAnotherThread) {
  gCounting = true;
  std::thread([] {
    // A real allocation, which the optimiser may not remove.
    void* volatile p = std::malloc(64);
    std::free(p);
  }).join();
  gCounting = false;
  EXPECT_GE(gForeignAllocations.load(), 1u);
}

TEST_F(ReliabilityAllocation, DriverLoopsAllocateNothingOverAThousandPasses) {
  HALSIM_SetDriverStationEnabled(1);
  for (int d = 1; d <= kDevices; ++d) {
    ZEM_CANTavrixRegisterDevice(d);
    ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(d, kPeriodMs);
  }
  ZEM_CANTavrixRunHeartbeat();
  ZEM_CANTavrixRunSetDriver();
  // Start-up allocates (the threads, their notifiers); the loops must not.
  HALSIM_StepTiming(kWarmUpUs);
  ASSERT_GT(gSetpointFrames.load(), 0u);

  gSetpointFrames = 0;
  gHeartbeats = 0;
  gForeignAllocations = 0;
  gCounting = true;
  for (int pass = 0; pass < kPasses; ++pass) {
    // Robot-side activity between passes: new contents, enable changes.
    ZEM_CANTavrixSetDriverSet4(1 + pass % kDevices, static_cast<float>(pass), 18, 1, 7);
    HALSIM_SetDriverStationEnabled(pass % 50 < 25 ? 1 : 0);
    HALSIM_StepTiming(kPeriodUs);
  }
  gCounting = false;

  EXPECT_EQ(gForeignAllocations.load(), 0u);
  // Every pass really ran: all 62 devices each period, a heartbeat every 25 ms.
  EXPECT_EQ(gSetpointFrames.load(), static_cast<uint64_t>(kDevices) * kPasses);
  EXPECT_NEAR(static_cast<double>(gHeartbeats.load()), kPasses * kPeriodUs / 25000.0, 1.0);
}

}  // namespace
