// A small robot program for WPILib 2026: one arm controller on the CAN bus,
// driven by the joystick's Y axis; while button 1 is held the controller
// holds the arm at a set position in its own closed loop. The controller is
// on the dashboard as "Arm" (a Motor Controller whose Value can be written).
#pragma once

#include <frc/Joystick.h>
#include <frc/TimedRobot.h>
#include <tavrix/CANTavrix.h>

class Robot : public frc::TimedRobot {
 public:
  Robot();

  void TeleopPeriodic() override;
  void DisabledInit() override;

 private:
  static constexpr int kArmDevice = 3;
  static constexpr int kJoystickPort = 0;
  static constexpr int kHoldButton = 1;
  // The position the hold button moves the arm to, in encoder units.
  static constexpr double kHoldPosition = 50.0;
  static constexpr int kPositionSlot = 0;

  frc::Joystick m_stick{kJoystickPort};
  zem::CANTavrix m_arm{kArmDevice, zem::CANTavrixLowLevel::MotorType::kMotorKind1};
  zem::CANPIDController m_armLoop = m_arm.GetPIDController();
};
