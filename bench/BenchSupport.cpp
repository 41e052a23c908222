// The stand-in's bench world (see BenchSupport.h).
#include "BenchSupport.h"

#include <thread>

#include <hal/simulation/MockHooks.h>
#include <hal/simulation/SimRecords.h>
#include <wpi/SafeThread.h>

#include "tavrix/TavrixDriver.h"
#include "tavrix/Wire.h"

namespace tavrix_bench {

namespace {

// The driver's two threads; the device library's start-up thread ends after starting them.
constexpr int kDriverThreads = 2;
constexpr auto kStartupBound = std::chrono::seconds(10);
constexpr uint64_t kUsPerMs = 1000;

void WaitForStartupThreadToEnd() {
  const auto deadline = std::chrono::steady_clock::now() + kStartupBound;
  while (wpi::detail::GetRunningSafeThreadCount() > kDriverThreads &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
}

}  // namespace

BenchWorld& BenchWorld::Get() {
  static BenchWorld* world = new BenchWorld;  // lives until exit, like the driver's threads
  return *world;
}

BenchWorld::BenchWorld() {
  HALSIM_PauseTiming();
  // Recording every frame is the simulation's cost, not the library's.
  halsim::SetCanTraceEnabled(false);
  // Started here so that the device library's start-up thread finds them running.
  ZEM_CANTavrixRunHeartbeat();
  ZEM_CANTavrixRunSetDriver();
  // Each robot object finds a controller to read its firmware from.
  std::vector<std::unique_ptr<tavrix::sim::SimController>> controllers;
  for (int d = 1; d <= kRobotThreads; ++d) {
    controllers.push_back(std::make_unique<tavrix::sim::SimController>(d));
  }
  for (int d = 1; d <= kRobotThreads; ++d) {
    robots_.push_back(
        std::make_unique<zem::CANTavrix>(d, zem::CANTavrixLowLevel::MotorType::kMotorKind1));
  }
  WaitForStartupThreadToEnd();
  controller_ = std::move(controllers.front());
  controller_->Detach();
}

void ServeAlignedDevices(int count, int periodMs) {
  HALSIM_PauseTiming();
  for (int d = 1; d <= kServedDevices; ++d) {
    ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(d, 0);
    ZEM_CANTavrixUnregisterDevice(d);
  }
  // Past the sender's idle wake: it has scanned an empty registry and every
  // device's last send lies more than a period back.
  HALSIM_StepTiming(zem::wire::kSetpointIdleWakeUs + static_cast<uint64_t>(periodMs) * kUsPerMs);
  for (int d = 1; d <= count; ++d) {
    ZEM_CANTavrixRegisterDevice(d);
    ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(d, periodMs);
  }
  // The next pass sends them all at one paused instant, which keeps them aligned.
  HALSIM_StepTiming(zem::wire::kSetpointIdleWakeUs);
}

}  // namespace tavrix_bench
