package com.zemdyn.tavrix.sim;

/**
 * Catches the process's error reports to the driver station (the HAL's {@code HAL_SendError},
 * which the C++ library and Java's {@code DriverStation.reportError} both end in) for tests to
 * read, instead of printing them. Process-wide: one handler, as the HAL allows. Any thread may
 * call; no call waits beyond a short lock.
 */
public final class SimErrorLog {
  private SimErrorLog() {}

  /** Starts catching (and forgets what was caught before); call after {@code HAL.initialize}. */
  public static void start() {
    SimJNI.errorLogStart();
  }

  /** Stops catching: reports print again. */
  public static void stop() {
    SimJNI.errorLogStop();
  }

  /**
   * The texts caught since the last call, oldest first, and forgets them. Allocates.
   *
   * @return the texts
   */
  public static String[] take() {
    return SimJNI.errorLogTake();
  }
}
