package com.zemdyn.tavrix;

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

  /** Moves paused time; every notifier, the driver's and the controllers' tick included, runs. */
  static void step(double seconds) {
    SimHooks.stepTiming(seconds);
  }
}
