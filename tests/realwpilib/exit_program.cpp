// A robot program that starts the driver, lets its threads run and returns
// from main while they still run: it must exit with status 0. With the
// argument "paused" (WPILib 2026) it freezes simulated time first, so that the
// driver's threads sit in notifier waits that no alarm will end.
#include <chrono>
#include <cstring>

#include "platform_sim.h"
#include "responder.h"
#include "tavrix/CANTavrix.h"
#include "wall_clock.h"

int main(int argc, char** argv) {
  auto& bus = realwpilib::Responder::Install();
  zem::CANTavrix motor(1, zem::CANTavrixLowLevel::MotorType::kMotorKind1);
  motor.Set(0.25);
  // Until both threads are in their loops (a bound, not a measurement).
  const bool running = bus.WaitFor(
      [](const realwpilib::Frames& sent) {
        size_t beats = 0;
        size_t setpoints = 0;
        for (const auto& f : realwpilib::DriverFrames(sent)) {
          beats += f.id == zem::wire::kHeartbeatId;
          setpoints +=
              f.id == zem::wire::ComposeId(1, zem::wire::kSetpointApiIds[0]) && f.size == 8;
        }
        return beats >= 3 && setpoints >= 3;
      },
      tavrix_test::WallBound(std::chrono::milliseconds(3000)));
  if (!running) return 2;
  const bool paused = argc > 1 && std::strcmp(argv[1], "paused") == 0;
  if (paused && !realwpilib::PauseTiming()) return 3;
  return 0;
}
