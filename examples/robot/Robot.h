// A small robot program for WPILib 2026: one arm controller on the CAN bus,
// driven by the joystick's Y axis; while button 1 is held the controller
// holds the arm at a set position in its own closed loop. The controller is
// on the dashboard as "Arm" (a Motor Controller whose Value can be written).
// Each loop it writes the controller's applied output, velocity, position and
// current to a WPILib data log (.wpilog), for AdvantageScope or WPILib's log
// tools. In simulation the arm is simulated (ArmSimulation).
#pragma once

#include <memory>
#include <string>

#include <frc/Joystick.h>
#include <frc/TimedRobot.h>
#include <tavrix/CANTavrix.h>
#include <wpi/DataLog.h>
#include <wpi/DataLogWriter.h>

#include "ArmSimulation.h"

class Robot : public frc::TimedRobot {
 public:
  static constexpr const char* kDefaultLogPath = "tavrix-robot.wpilog";

  // The data log goes to logPath (replaced if it exists).
  explicit Robot(const std::string& logPath = kDefaultLogPath);

  void RobotPeriodic() override;
  void TeleopPeriodic() override;
  void DisabledInit() override;
  void SimulationPeriodic() override;

  // The simulated arm; null when not simulating.
  const ArmSimulation* Simulation() const { return m_simulation.get(); }

 private:
  static constexpr int kArmDevice = 3;
  static constexpr int kJoystickPort = 0;
  static constexpr int kHoldButton = 1;
  // The position the hold button moves the arm to, in encoder units.
  static constexpr double kHoldPosition = 50.0;
  static constexpr int kPositionSlot = 0;

  // Before the arm's controller object, so that the simulated controller
  // answers its first requests.
  std::unique_ptr<ArmSimulation> m_simulation =
      IsSimulation() ? std::make_unique<ArmSimulation>(kArmDevice) : nullptr;
  frc::Joystick m_stick{kJoystickPort};
  zem::CANTavrix m_arm{kArmDevice, zem::CANTavrixLowLevel::MotorType::kMotorKind1};
  zem::CANPIDController m_armLoop = m_arm.GetPIDController();
  zem::CANEncoder m_armEncoder = m_arm.GetEncoder();

  static constexpr int kLoopsPerFlush = 50;
  int m_loopsSinceFlush = 0;
  std::error_code m_logError;
  wpi::log::DataLogWriter m_log;
  wpi::log::DoubleLogEntry m_logOutput{m_log, "Arm/appliedOutput"};
  wpi::log::DoubleLogEntry m_logVelocity{m_log, "Arm/velocity"};
  wpi::log::DoubleLogEntry m_logPosition{m_log, "Arm/position"};
  wpi::log::DoubleLogEntry m_logCurrent{m_log, "Arm/outputCurrent"};
};
