// Starts both driver threads, pauses the simulated clock with them waiting on
// it, and returns from main: the process must end promptly (the test runs it
// with a short timeout).
#include <cstdio>

#include <hal/simulation/MockHooks.h>
#include <tavrix/TavrixDriver.h>

#include "bus_recorder.h"

int main() {
  BusRecorder bus;
  HALSIM_PauseTiming();
  ZEM_CANTavrixRegisterDevice(3);
  ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(3, 10);
  ZEM_CANTavrixRunHeartbeat();
  ZEM_CANTavrixRunSetDriver();
  if (!bus.WaitForCount(CreateCANID(0, 146), 1) || !bus.WaitForCount(CreateCANID(3, 0), 1)) {
    std::fputs("the driver threads sent nothing\n", stderr);
    return 1;
  }
  return 0;
}
