// A robot program that starts the driver, lets its threads run and returns
// from main while they still run: it must exit with status 0.
#include <chrono>

#include "responder.h"
#include "tavrix/CANTavrix.h"
#include "wall_clock.h"

int main() {
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
  return running ? 0 : 2;
}
