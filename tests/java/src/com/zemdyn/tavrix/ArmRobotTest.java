package com.zemdyn.tavrix;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import edu.wpi.first.networktables.NetworkTableInstance;
import edu.wpi.first.wpilibj.simulation.DriverStationSim;
import edu.wpi.first.wpilibj.simulation.JoystickSim;
import frc.robot.Robot;
import org.junit.jupiter.api.Test;

/**
 * The Java robot example (examples/robot-java) run the way teams test robot code: started on a
 * thread, driven through the simulated driver station in stepped time, then ended.
 */
class ArmRobotTest {
  @Test
  void theStickMovesTheArmAndTheButtonHoldsIt() throws InterruptedException {
    Simulation.start();
    Simulation.enable(false);
    Robot robot = new Robot();
    Thread loop = new Thread(robot::startCompetition, "robot");
    loop.setDaemon(true);
    loop.start();
    try {
      Simulation.step(0.0);
      JoystickSim stick = new JoystickSim(Robot.kJoystickPort);
      stick.setY(-0.4);
      DriverStationSim.setAutonomous(false);
      Simulation.enable(true);
      Simulation.step(0.5);
      // Joystick axes travel as floats.
      assertEquals(0.4, robot.getArm().get(), 1e-6);
      assertTrue(
          robot.getSimulatedArmAngle() > Robot.kArmStartAngle + 0.05,
          "raised: " + robot.getSimulatedArmAngle());

      stick.setY(0.0);
      stick.setRawButton(Robot.kHoldButton, true);
      DriverStationSim.notifyNewData();
      Simulation.step(4.0);
      assertEquals(Robot.kHoldPosition, robot.getArm().getEncoder().getPosition(), 2.0);
      assertEquals(
          Robot.kArmStartAngle + Robot.kHoldPosition / Robot.kArmGearing * 2 * Math.PI,
          robot.getSimulatedArmAngle(),
          0.02);
      assertEquals(
          robot.getArm().get(),
          NetworkTableInstance.getDefault().getEntry("/SmartDashboard/Arm/Value").getDouble(-1));
    } finally {
      robot.endCompetition();
      loop.join(5000);
      Simulation.stop();
      robot.close();
      NetworkTableInstance.getDefault().stopServer();
    }
    assertFalse(loop.isAlive());
  }
}
