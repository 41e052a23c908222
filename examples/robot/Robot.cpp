// The arm robot (see Robot.h).
#include "Robot.h"

#include <frc/smartdashboard/SmartDashboard.h>

Robot::Robot(const std::string& logPath) : m_log(logPath, m_logError) {
  m_arm.SetSmartCurrentLimit(40);
  m_armLoop.SetP(0.1, kPositionSlot);
  m_armLoop.SetOutputRange(-0.5, 0.5, kPositionSlot);
  frc::SmartDashboard::PutData("Arm", &m_arm);
}

void Robot::TeleopPeriodic() {
  if (m_stick.GetRawButton(kHoldButton)) {
    // Control type 3: the controller's position loop.
    m_armLoop.SetReference(kHoldPosition, zem::ControlType::kControlType3, kPositionSlot);
  } else {
    // Pushing the stick forward gives a negative Y: forward raises the arm.
    m_arm.Set(-m_stick.GetY());
  }
}

void Robot::DisabledInit() { m_arm.StopMotor(); }

// The controller's telemetry as its status frames report it, stamped with the
// robot's clock (the simulated one in simulation).
void Robot::RobotPeriodic() {
  m_logOutput.Append(m_arm.GetAppliedOutput());
  m_logVelocity.Append(m_armEncoder.GetVelocity());
  m_logPosition.Append(m_armEncoder.GetPosition());
  m_logCurrent.Append(m_arm.GetOutputCurrent());
  // Once a second on disk, so that a program stopped from outside keeps its log.
  if (++m_loopsSinceFlush >= kLoopsPerFlush) {
    m_log.Flush();
    m_loopsSinceFlush = 0;
  }
}

void Robot::SimulationPeriodic() {
  if (m_simulation) m_simulation->Update(GetPeriod());
}
