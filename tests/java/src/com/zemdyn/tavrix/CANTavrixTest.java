package com.zemdyn.tavrix;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.sun.management.ThreadMXBean;
import com.zemdyn.tavrix.CANTavrixLowLevel.ConfigParameter;
import com.zemdyn.tavrix.CANTavrixLowLevel.MotorType;
import com.zemdyn.tavrix.CANTavrixLowLevel.ParameterStatus;
import com.zemdyn.tavrix.sim.BusFaults;
import com.zemdyn.tavrix.sim.Mechanism;
import com.zemdyn.tavrix.sim.SimController;
import com.zemdyn.tavrix.sim.SimErrorLog;
import com.zemdyn.tavrix.sim.SimState;
import edu.wpi.first.networktables.NetworkTableInstance;
import edu.wpi.first.wpilibj.simulation.SimDeviceSim;
import edu.wpi.first.wpilibj.smartdashboard.SmartDashboard;
import java.lang.management.ManagementFactory;
import java.util.Arrays;
import org.junit.jupiter.api.AfterAll;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/**
 * The Java object API against simulated controllers in WPILib 2026's stepped simulation. Each test
 * uses its own device numbers: the driver's tables are process-wide.
 */
class CANTavrixTest {
  private static final MotorType kMotor = MotorType.kMotorKind1;

  @BeforeAll
  static void startSimulation() throws InterruptedException {
    Simulation.start();
    Simulation.enable(true);
    Simulation.awaitDriver();
  }

  @AfterAll
  static void stopSimulation() {
    SimErrorLog.stop();
    Simulation.stop();
  }

  @Test
  void setDrivesTheMotorAndTelemetryComesBack() {
    try (SimController sim = new SimController(1);
        CANTavrix motor = new CANTavrix(1, kMotor)) {
      motor.set(0.5);
      Simulation.step(0.5);
      assertEquals(0.5, motor.get());
      assertEquals(0.5, sim.getAppliedOutput(), 1e-3);
      assertEquals(0.5, motor.getAppliedOutput(), 1e-3);
      // Status frames lag the simulation by at most a period or two.
      assertEquals(sim.getVelocity(), motor.getEncoder().getVelocity(), 0.05 * sim.getVelocity());
      assertTrue(sim.getVelocity() > 1000, "spun up: " + sim.getVelocity());
      assertEquals(sim.getState().busVoltage, motor.getBusVoltage(), 0.1);
      assertTrue(motor.getStatusFrameAgeMs(CANTavrixLowLevel.PeriodicFrame.kStatus1) < 100);
      assertEquals(0.5, new SimDeviceSim("Tavrix", 1).getDouble("appliedOutput").get(), 1e-3);

      motor.setInverted(true);
      motor.set(0.25);
      Simulation.step(0.1);
      assertEquals(-0.25, sim.getAppliedOutput(), 1e-3);
      // The C++ SetVoltage: volts over the robot's 12 V input.
      motor.setInverted(false);
      motor.setVoltage(6.0);
      Simulation.step(0.1);
      assertEquals(0.5, sim.getAppliedOutput(), 1e-3);
    }
  }

  @Test
  void closedLoopMoveReachesItsTargetAndAFollowerFollows() {
    try (SimController leaderSim = new SimController(2);
        SimController followerSim = new SimController(3);
        Mechanism arm = Mechanism.arm(60.0, 3.0, 0.6, -Mechanism.kNoLimit, Mechanism.kNoLimit);
        CANTavrix leader = new CANTavrix(2, kMotor);
        CANTavrix follower = new CANTavrix(3, kMotor)) {
      assertTrue(leaderSim.attachMechanism(arm) && followerSim.attachMechanism(arm));
      assertEquals(CANError.kSuccess, follower.follow(leader));
      CANPIDController pid = leader.getPIDController();
      pid.setP(0.2);
      pid.setD(1.0);
      assertEquals(CANError.kSuccess, pid.setReference(10.0, ControlType.kControlType3));
      Simulation.step(3.0);
      assertEquals(10.0, leader.getEncoder().getPosition(), 0.5);
      assertTrue(follower.isFollower());
      assertTrue(followerSim.getState().isFollower);
      assertEquals(leaderSim.getAppliedOutput(), followerSim.getAppliedOutput(), 1e-3);

      assertEquals(CANError.kFailed, follower.follow((CANTavrix) null));
      assertEquals(CANError.kSuccess, follower.follow(leader, true));
      leader.set(0.4);
      Simulation.step(0.2);
      assertEquals(-0.4, followerSim.getAppliedOutput(), 1e-3);
    }
  }

  @Test
  void parametersRoundTripThroughTheController() {
    try (SimController sim = new SimController(4);
        CANTavrix motor = new CANTavrix(4, kMotor)) {
      assertEquals(CANError.kSuccess, motor.setIdleMode(CANTavrix.IdleMode.kIdleMode0));
      assertEquals(CANTavrix.IdleMode.kIdleMode0, motor.getIdleMode());
      assertEquals(CANError.kSuccess, motor.getPIDController().setP(0.25, 2));
      assertEquals(0.25, motor.getPIDController().getP(2));
      assertEquals(CANError.kSuccess, motor.getEncoder().setPositionConversionFactor(2.0));
      assertEquals(2.0, motor.getEncoder().getPositionConversionFactor());
      assertEquals(CANError.kSuccess, motor.setOpenLoopRampRate(0.5));
      assertEquals(0.5, motor.getOpenLoopRampRate(), 1e-6);

      assertEquals(ParameterStatus.kOK, motor.setParameterUint32(ConfigParameter.kSmartCurrentLimit, 40));
      long[] word = {0};
      assertEquals(ParameterStatus.kOK, motor.getParameterUint32(ConfigParameter.kSmartCurrentLimit, word));
      assertEquals(40, word[0]);
      assertEquals(40, sim.getParameter(ConfigParameter.kSmartCurrentLimit.value).word);
      assertEquals(
          CANTavrixLowLevel.ParameterType.kFloat32,
          motor.getParameterType(ConfigParameter.kP_3));

      // Refused before anything is sent.
      assertEquals(CANError.kFailed, motor.getPIDController().setP(1.0, 4));
      assertEquals(ParameterStatus.kTimeout, motor.getParameter(ConfigParameter.kP_0, (double[]) null));
      assertTrue(motor.getFirmwareString().startsWith("v1.5.0"), motor.getFirmwareString());
    }
  }

  @Test
  void faultsOfTheControllerComeBackAsResultsWithoutWaitingOnPausedTime() {
    try (SimController sim = new SimController(10);
        SimController leaderSim = new SimController(11);
        CANTavrix motor = new CANTavrix(10, kMotor);
        CANTavrix leader = new CANTavrix(11, kMotor)) {
      assertEquals(CANTavrix.IdleMode.kIdleMode0, motor.getIdleMode());
      BusFaults faults = new BusFaults();
      faults.corruptFollowerEcho = true;
      sim.setBusFaults(faults);
      assertEquals(CANError.kFailed, motor.follow(leader));
      // Silent: the waits end after the CAN timeout on the steady clock, though paused time stands.
      faults.corruptFollowerEcho = false;
      faults.silent = true;
      sim.setBusFaults(faults);
      assertEquals(CANError.kNoReply, motor.follow(leader));
      assertEquals(CANTavrix.IdleMode.kIdleMode1, motor.getIdleMode());
      assertEquals(0.0, motor.getEncoder().getPositionConversionFactor());
      sim.setBusFaults(null);
      assertEquals(CANError.kSuccess, motor.follow(leader));
      assertTrue(leaderSim.isAttached());
    }
  }

  @Test
  void badInputGetsResultsNotCrashes() {
    try (SimController sim = new SimController(5);
        CANTavrix motor = new CANTavrix(5, kMotor)) {
      CANPIDController pid = motor.getPIDController();
      assertEquals(CANError.kSuccess, pid.setReference(3.0, ControlType.kControlType3));
      for (double bad : new double[] {Double.NaN, Double.POSITIVE_INFINITY, 1e39}) {
        assertEquals(CANError.kFailed, pid.setReference(bad, ControlType.kControlType3), "" + bad);
      }
      assertEquals(CANError.kFailed, pid.setReference(1.0, null));
      Simulation.step(0.05);
      assertEquals(3.0, sim.getState().lastSetpoint.value);
      // Type 0 takes a NaN as a stop.
      motor.set(Double.NaN);
      Simulation.step(0.05);
      assertEquals(0.0, sim.getState().lastSetpoint.value);
    }
    assertThrows(IllegalArgumentException.class, () -> new CANTavrix(64, kMotor));
    assertThrows(IllegalArgumentException.class, () -> new CANTavrix(-1, kMotor));
  }

  @Test
  void theDashboardShowsAndWritesTheController() {
    try (SimController sim = new SimController(6);
        CANTavrix motor = new CANTavrix(6, kMotor)) {
      SmartDashboard.putData("Lift", motor);
      motor.set(0.3);
      SmartDashboard.updateValues();
      NetworkTableInstance nt = NetworkTableInstance.getDefault();
      assertEquals("Motor Controller", nt.getEntry("/SmartDashboard/Lift/.type").getString(""));
      assertEquals(0.3, nt.getEntry("/SmartDashboard/Lift/Value").getDouble(-1));
      nt.getEntry("/SmartDashboard/Lift/Value").setDouble(-0.6);
      SmartDashboard.updateValues();
      assertEquals(-0.6, motor.get());
      Simulation.step(0.05);
      assertEquals(-0.6, sim.getAppliedOutput(), 1e-3);
    }
  }

  @Test
  void aSilentControllerIsReportedAndUseAfterCloseReportsOnce() {
    SimErrorLog.start();
    CANTavrix motor = new CANTavrix(7, kMotor);
    String[] reports = SimErrorLog.take();
    assertTrue(
        Arrays.stream(reports).anyMatch(r -> r.contains("firmware version for CAN ID: 7")),
        Arrays.toString(reports));

    motor.close();
    motor.close();
    motor.set(0.5);
    assertEquals(0.0, motor.get());
    assertEquals(CANError.kFailed, motor.getPIDController().setReference(1.0, ControlType.kControlType0));
    assertEquals(CANTavrix.IdleMode.kIdleMode1, motor.getIdleMode());
    assertEquals(0.0, motor.getEncoder().getPosition());
    assertEquals(ParameterStatus.kTimeout, motor.getParameter(ConfigParameter.kP_0, new double[1]));
    assertEquals(false, motor.getForwardLimitSwitch(CANDigitalInput.LimitSwitchPolarity.kPolarity0).get());
    assertArrayEquals(
        new String[] {"CANTavrix 7: called after close(); the call did nothing"}, SimErrorLog.take());
    SimErrorLog.stop();
  }

  @Test
  void closeStopsTheMotorAndANewObjectIsOutOfTheOldOnesReach() {
    try (SimController sim = new SimController(8)) {
      CANTavrix old = new CANTavrix(8, kMotor);
      old.set(0.5);
      Simulation.step(0.1);
      assertEquals(0.5, sim.getAppliedOutput(), 1e-3);
      old.close();
      Simulation.step(0.1);
      assertEquals(0.0, sim.getAppliedOutput(), 1e-3);

      try (CANTavrix fresh = new CANTavrix(8, kMotor)) {
        fresh.set(0.2);
        old.set(0.9);
        old.setInverted(true);
        Simulation.step(0.1);
        assertEquals(0.2, sim.getAppliedOutput(), 1e-3);
        assertEquals(false, fresh.getInverted());
      }
    }
  }

  @Test
  void setAllocatesNothing() {
    try (SimController sim = new SimController(9);
        CANTavrix motor = new CANTavrix(9, kMotor)) {
      ThreadMXBean threads = (ThreadMXBean) ManagementFactory.getThreadMXBean();
      long id = Thread.currentThread().getId();
      for (int i = 0; i < 200_000; i++) {
        motor.set((i & 1) * 0.5);
      }
      long before = threads.getThreadAllocatedBytes(id);
      for (int i = 0; i < 200_000; i++) {
        motor.set((i & 1) * 0.5);
      }
      long allocated = threads.getThreadAllocatedBytes(id) - before;
      // The measurement itself allocates a few dozen bytes; one object per call would be megabytes.
      assertTrue(allocated < 4096, allocated + " bytes in 200000 calls");
      // Several control-frame periods: a new device's first setpoint frame was seen to come later
      // than 50 ms (about once in 25 runs), never later than 200 ms.
      Simulation.step(0.2);
      assertEquals(0.5, sim.getAppliedOutput(), 1e-3, () -> describe(sim));
    }
  }

  private static String describe(SimController sim) {
    SimState s = sim.getState();
    return "enabled " + s.outputsEnabled + ", last setpoint " + s.lastSetpoint.received + " "
        + s.lastSetpoint.value + ", setpoints " + s.counts.setpoints + ", heartbeats "
        + s.counts.heartbeats + ", applied " + s.appliedOutput;
  }
}
