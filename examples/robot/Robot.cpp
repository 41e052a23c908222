// The arm robot (see Robot.h).
#include "Robot.h"

#include <frc/smartdashboard/SmartDashboard.h>

Robot::Robot() {
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
