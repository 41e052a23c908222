// The arm robot of examples/robot, tested the way teams test robot code in
// WPILib's simulation: the robot runs on a thread of its own, the test steps
// time and plays the driver station, then ends the robot and reads its data
// log back.
#include <cstdio>
#include <numbers>
#include <string>
#include <thread>

#include <frc/simulation/DriverStationSim.h>
#include <frc/simulation/JoystickSim.h>
#include <frc/simulation/SimHooks.h>
#include <gtest/gtest.h>
#include <networktables/NetworkTableInstance.h>
#include <units/time.h>
#include <wpi/DataLogReader.h>
#include <wpi/MemoryBuffer.h>

#include "Robot.h"
#include "tavrix/sim/SimController.h"

namespace {

// The samples of one double entry of a data log, in the order written.
std::vector<double> LoggedDoubles(const std::string& path, std::string_view name) {
  std::vector<double> values;
  auto buffer = wpi::MemoryBuffer::GetFile(path);
  if (!buffer) return values;
  wpi::log::DataLogReader reader(std::move(*buffer));
  EXPECT_TRUE(reader.IsValid());
  int entry = -1;
  for (const wpi::log::DataLogRecord& record : reader) {
    wpi::log::StartRecordData start;
    double value = 0.0;
    if (record.GetStartData(&start) && start.name == name && start.type == "double") {
      entry = start.entry;
    } else if (record.GetEntry() == entry && record.GetDouble(&value)) {
      values.push_back(value);
    }
  }
  return values;
}

TEST(ArmRobot, HoldButtonMovesTheArmToItsPositionAndTheLogShowsIt) {
  const std::string log = ::testing::TempDir() + "arm_robot_test.wpilog";
  frc::sim::PauseTiming();  // at 0, before anything ticks
  frc::sim::RestartTiming();
  {
    Robot robot(log);
    ASSERT_NE(robot.Simulation(), nullptr);
    std::thread competition([&robot] { robot.StartCompetition(); });
    frc::sim::WaitForProgramStart();
    // The robot's loop, the simulated controllers' tick and the driver's two
    // threads wait on their notifiers: from here on, steps run them in step.
    const bool settled = tavrix::sim::WaitForNotifierThreads(4);
    EXPECT_TRUE(settled);

    frc::sim::JoystickSim stick(0);
    stick.SetRawButton(1, true);
    stick.NotifyNewData();
    frc::sim::DriverStationSim::SetDsAttached(true);
    frc::sim::DriverStationSim::SetAutonomous(false);
    frc::sim::DriverStationSim::SetEnabled(true);
    frc::sim::DriverStationSim::NotifyNewData();
    for (int i = 0; i < 150; ++i) frc::sim::StepTiming(20_ms);  // 3 s

    // Held at 50 motor rotations: a sixth of an arm turn up from hanging.
    const double expectedRad =
        ArmSimulation::kStartAngle.value() + 50.0 / ArmSimulation::kGearing * 2 * std::numbers::pi;
    EXPECT_NEAR(robot.Simulation()->GetArmAngle().value(), expectedRad, 0.02);
    EXPECT_NEAR(robot.Simulation()->Controller().GetPosition(), 50.0, 1.0);

    frc::sim::DriverStationSim::SetEnabled(false);
    frc::sim::DriverStationSim::NotifyNewData();
    frc::sim::StepTiming(40_ms);
    robot.EndCompetition();
    competition.join();
  }
  // A TimedRobot starts a NetworkTables server; stopped before the process ends.
  nt::NetworkTableInstance::GetDefault().StopServer();

  const std::vector<double> positions = LoggedDoubles(log, "Arm/position");
  ASSERT_GT(positions.size(), 100u);  // one sample per 20 ms loop
  EXPECT_NEAR(positions[positions.size() - 3], 50.0, 1.0);
  for (const char* name : {"Arm/appliedOutput", "Arm/velocity", "Arm/outputCurrent"}) {
    EXPECT_EQ(LoggedDoubles(log, name).size(), positions.size()) << name;
  }
  std::remove(log.c_str());
}

}  // namespace
