// Starts the arm robot (see Robot.h) on WPILib 2026.
#include <frc/RobotBase.h>

#include "Robot.h"

int main() { return frc::StartRobot<Robot>(); }
