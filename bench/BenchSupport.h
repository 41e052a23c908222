// The stand-in's bench world, shared by the benchmarks that step its clock:
// robot-side device objects, a simulated controller, the driver's threads, and
// the clock and bus settings each figure starts from.
#pragma once

#include <memory>
#include <vector>

#include "BenchStats.h"
#include "tavrix/CANTavrix.h"
#include "tavrix/sim/SimController.h"

namespace tavrix_bench {

constexpr int kRobotThreads = 4;
constexpr int kServedDevices = 62;
constexpr int kDefaultPeriodMs = 10;

// Robot-side objects for devices 1..4 and a simulated controller for device 1,
// built once with the driver's threads started and the start-up thread done.
class BenchWorld {
 public:
  static BenchWorld& Get();
  zem::CANTavrix& Robot(int index) { return *robots_[static_cast<size_t>(index)]; }
  // Device 1's simulated controller; detached unless a figure attaches it.
  tavrix::sim::SimController& Controller() { return *controller_; }

 private:
  BenchWorld();
  std::unique_ptr<tavrix::sim::SimController> controller_;
  std::vector<std::unique_ptr<zem::CANTavrix>> robots_;
};

// Serves devices 1..count at periodMs and no other; every served device was
// last sent at the same instant, so with paused time all are due in one pass.
// Leaves the clock paused.
void ServeAlignedDevices(int count, int periodMs);

}  // namespace tavrix_bench
