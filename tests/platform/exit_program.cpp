// A program that returns from main while a process-wide SafeThread is blocked in a
// notifier wait (argument "paused": with the clock paused; "running": in real time,
// alarm an hour away). Its owner's destructor must end the thread promptly.
#include <cstdio>
#include <cstring>

#include "hal/HAL.h"
#include "hal/simulation/MockHooks.h"
#include "wpi/SafeThread.h"

namespace {

constexpr uint64_t kOneHourUs = 3'600'000'000ULL;

class WaitingThread : public wpi::SafeThread {
 public:
  void Main() override {
    int32_t status = 0;
    HAL_NotifierHandle notifier = HAL_InitializeNotifier(&status);
    while (m_active) {
      HAL_UpdateNotifierAlarm(notifier, HAL_GetFPGATime(&status) + kOneHourUs, &status);
      HAL_WaitForNotifierAlarm(notifier, &status);
    }
    HAL_StopNotifier(notifier, &status);
    HAL_CleanNotifier(notifier, &status);
  }
};

// Process-wide, destroyed at exit like the library's thread owners; constructed after
// the HAL is initialised, so that its thread is joined before the HAL's state ends.
const bool gHalInitialized = HAL_Initialize(500, 0) != 0;
wpi::SafeThreadOwner<WaitingThread> gOwner;

}  // namespace

int main(int argc, char** argv) {
  const bool paused = argc > 1 && std::strcmp(argv[1], "paused") == 0;
  if (paused) HALSIM_PauseTiming();
  gOwner.Start();
  HALSIM_StepTiming(0);  // returns once the thread is parked in its wait
  std::puts(paused ? "exiting with the clock paused" : "exiting with the clock running");
  return 0;
}
