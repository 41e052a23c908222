package com.zemdyn.tavrix;

import com.zemdyn.tavrix.sim.SimController;
import edu.wpi.first.hal.HAL;
import edu.wpi.first.wpilibj.simulation.DriverStationSim;
import edu.wpi.first.wpilibj.simulation.SimHooks;

/** What every simulated test needs: the HAL, paused time, an enabled robot, steps. */
final class Simulation {
  private Simulation() {}

  /** The HAL first (before anything registers a simulation callback), then paused time. */
  static void start() {
    if (!HAL.initialize(500, 0)) {
      throw new IllegalStateException("HAL.initialize failed");
    }
    SimHooks.pauseTiming();
    SimHooks.restartTiming();
  }

  /** Enables or disables the robot: the heartbeat carries the registered devices while enabled. */
  static void enable(boolean enabled) {
    DriverStationSim.setEnabled(enabled);
    DriverStationSim.notifyNewData();
  }

  /**
   * Disables the robot and lets time run again, so that the driver's threads, which wait on HAL
   * notifiers, see their stop at exit instead of waiting for a step that never comes.
   */
  static void stop() {
    enable(false);
    SimHooks.resumeTiming();
  }

  /**
   * Waits until the driver runs: the first controller object of a process starts the driver's
   * threads in the background, and a step taken before their notifiers exist moves without them
   * (a first heartbeat would be missed). Steps until a heartbeat reaches a simulated controller,
   * giving the starting threads real time between steps, within a loose real-time bound. Call once
   * per process, enabled.
   */
  static void awaitDriver() throws InterruptedException {
    final int device = 62;
    try (SimController sim = new SimController(device);
        CANTavrix motor = new CANTavrix(device, CANTavrixLowLevel.MotorType.kMotorKind1)) {
      motor.stopMotor();
      long deadline = System.nanoTime() + 10_000_000_000L;
      while (!sim.getState().outputsEnabled) {
        if (System.nanoTime() > deadline) {
          throw new IllegalStateException("the driver's heartbeat never reached the controller");
        }
        step(0.025);
        Thread.sleep(1);
      }
    }
  }

  /** Moves paused time; every notifier, the driver's and the controllers' tick included, runs. */
  static void step(double seconds) {
    SimHooks.stepTiming(seconds);
  }
}
