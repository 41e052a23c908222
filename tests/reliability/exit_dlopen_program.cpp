// Loads the driver with dlopen, starts both threads and returns from main
// without dlclose, the clock running ("running") or paused ("paused"): the
// exit unloads the library and must end its threads at once (the test that
// runs this has a short timeout). Exit status 0 once frames were seen.
#include <cstdio>
#include <cstring>

#include <hal/simulation/MockHooks.h>

#include "driver_loader.h"

int main(int argc, char** argv) {
  if (argc != 2 || (std::strcmp(argv[1], "running") != 0 && std::strcmp(argv[1], "paused") != 0)) {
    std::fputs("usage: reliability_exit_dlopen_program running|paused\n", stderr);
    return 2;
  }
  const bool paused = std::strcmp(argv[1], "paused") == 0;
  constexpr int kDevice = 9;
  // Never destroyed: the driver's threads still send while the process exits.
  static tavrix_test::FrameCounter& frames = *new tavrix_test::FrameCounter(kDevice);
  if (paused) HALSIM_PauseTiming();
  // Deliberately never closed: the process exit unloads it.
  static tavrix_test::LoadedDriver driver;
  if (!driver.Loaded()) {
    // NOLINTNEXTLINE(concurrency-mt-unsafe): read right after the failing call, same thread
    std::fprintf(stderr, "dlopen failed: %s\n", dlerror());
    return 1;
  }
  driver.Serve(kDevice, 10);
  if (paused) HALSIM_StepTiming(60000);
  if (!frames.WaitForBoth(2)) {
    std::fputs("the driver's threads sent nothing\n", stderr);
    return 1;
  }
  return 0;
}
