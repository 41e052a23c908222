package frc.robot;

import edu.wpi.first.wpilibj.RobotBase;

/** Starts the arm robot. */
public final class Main {
  private Main() {}

  /**
   * Runs the robot until the program is stopped.
   *
   * @param args unused
   */
  public static void main(String... args) {
    RobotBase.startRobot(Robot::new);
  }
}
