package frc.robot;

import com.zemdyn.tavrix.CANPIDController;
import com.zemdyn.tavrix.CANTavrix;
import com.zemdyn.tavrix.CANTavrixLowLevel.MotorType;
import com.zemdyn.tavrix.ControlType;
import com.zemdyn.tavrix.sim.SimController;
import edu.wpi.first.math.system.plant.DCMotor;
import edu.wpi.first.math.util.Units;
import edu.wpi.first.wpilibj.Joystick;
import edu.wpi.first.wpilibj.RobotBase;
import edu.wpi.first.wpilibj.TimedRobot;
import edu.wpi.first.wpilibj.simulation.SingleJointedArmSim;
import edu.wpi.first.wpilibj.smartdashboard.SmartDashboard;

/**
 * A small robot program for WPILib 2026: one arm controller on the CAN bus, driven by the
 * joystick's Y axis; while button 1 is held the controller holds the arm at a set position in its
 * own closed loop. The controller is on the dashboard as "Arm" (a Motor Controller whose Value can
 * be written). In simulation a simulated controller answers on the arm's device number and a
 * WPILib {@link SingleJointedArmSim} is the arm: each period it takes the motor voltage and gives
 * back the motor shaft's position and speed.
 */
public class Robot extends TimedRobot {
  /** The arm controller's CAN device number. */
  public static final int kArmDevice = 3;
  /** The joystick's driver-station port. */
  public static final int kJoystickPort = 0;
  /** The button that holds the arm. */
  public static final int kHoldButton = 1;
  /** The position the hold button moves the arm to, in encoder units (motor rotations). */
  public static final double kHoldPosition = 50.0;
  /** Motor rotations per arm rotation (simulation). */
  public static final double kArmGearing = 300.0;
  /** Where the simulated arm starts: hanging straight down, where it rests (radians). */
  public static final double kArmStartAngle = -Math.PI / 2;

  private static final int kPositionSlot = 0;

  // In simulation the simulated controller comes first, so that the arm's
  // controller finds it answering when it reads the firmware.
  private final SimController m_armSim = RobotBase.isSimulation() ? new SimController(kArmDevice) : null;
  private final Joystick m_stick = new Joystick(kJoystickPort);
  private final CANTavrix m_arm = new CANTavrix(kArmDevice, MotorType.kMotorKind1);
  private final CANPIDController m_armLoop = m_arm.getPIDController();

  // The arm's physics in simulation: a 0.5 m, 2 kg arm between straight down
  // and straight up, starting down. The motor is the simulated controller's
  // motor kind 1 (2.6 N m and 105 A at stall, 5676 rpm free, 1.8 A free).
  private final SingleJointedArmSim m_armPhysics =
      RobotBase.isSimulation()
          ? new SingleJointedArmSim(
              new DCMotor(12.0, 2.6, 105.0, 1.8, Units.rotationsPerMinuteToRadiansPerSecond(5676), 1),
              kArmGearing,
              SingleJointedArmSim.estimateMOI(0.5, 2.0),
              0.5,
              kArmStartAngle,
              Math.PI / 2,
              true,
              kArmStartAngle)
          : null;

  /** Configures the arm controller and puts it on the dashboard. */
  public Robot() {
    m_arm.setSmartCurrentLimit(40);
    m_armLoop.setP(0.1, kPositionSlot);
    m_armLoop.setOutputRange(-0.5, 0.5, kPositionSlot);
    SmartDashboard.putData("Arm", m_arm);
  }

  @Override
  public void teleopPeriodic() {
    if (m_stick.getRawButton(kHoldButton)) {
      // Control type 3: the controller's position loop.
      m_armLoop.setReference(kHoldPosition, ControlType.kControlType3, kPositionSlot);
    } else {
      // Pushing the stick forward gives a negative Y: forward raises the arm.
      m_arm.set(-m_stick.getY());
    }
  }

  @Override
  public void disabledInit() {
    m_arm.stopMotor();
  }

  /** Couples the simulated controller with the arm's physics, once per period. */
  @Override
  public void simulationPeriodic() {
    m_armPhysics.setInputVoltage(m_armSim.getMotorVoltage());
    m_armPhysics.update(getPeriod());
    // The motor turns kArmGearing times the arm; its encoder counts from the start.
    double motorRotations = (m_armPhysics.getAngleRads() - kArmStartAngle) / (2 * Math.PI) * kArmGearing;
    double motorRpm = Units.radiansPerSecondToRotationsPerMinute(m_armPhysics.getVelocityRadPerSec()) * kArmGearing;
    m_armSim.setRotorState(motorRotations, motorRpm);
  }

  /**
   * The arm's angle in simulation (radians, 0 level, positive up, {@link #kArmStartAngle} at
   * start).
   *
   * @return the angle; 0 outside simulation
   */
  public double getSimulatedArmAngle() {
    return m_armPhysics != null ? m_armPhysics.getAngleRads() : 0.0;
  }

  /**
   * The arm controller, for tests.
   *
   * @return the controller
   */
  public CANTavrix getArm() {
    return m_arm;
  }

  /** Frees the controller, the simulated controller and the robot's WPILib resources. */
  @Override
  public void close() {
    m_arm.close();
    if (m_armSim != null) {
      m_armSim.close();
    }
    super.close();
  }
}
