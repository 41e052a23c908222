package com.zemdyn.tavrix.sim;

/**
 * A mechanism that one or more simulated controllers drive through one gearbox (their motors share
 * the shaft and their torques add); the C++ {@code tavrix::sim::Mechanism}. SI units; the position
 * is the output shaft angle in radians (flywheel, arm: 0 horizontal, positive up) or the elevator's
 * carriage height in metres. Advanced in 1 ms steps by the controllers attached to it. Thread-safe;
 * no call blocks beyond the mechanism's own lock. {@link #close()} drops this object's reference:
 * controllers attached to it keep it running.
 */
public final class Mechanism implements AutoCloseable {
  /** No limit, for the angle and height limits. */
  public static final double kNoLimit = Double.POSITIVE_INFINITY;

  private int m_handle;

  private Mechanism(int handle) {
    m_handle = handle;
  }

  private static Mechanism of(int handle) {
    return handle != 0 ? new Mechanism(handle) : null;
  }

  /**
   * A flywheel.
   *
   * @param gearRatio motor rotations per output rotation
   * @param momentOfInertiaKgM2 the flywheel's moment of inertia
   * @param viscousNmPerRadPerS viscous friction
   * @param coulombNm dry friction
   * @return the mechanism, or null for invalid parameters (non-finite, a ratio or inertia &lt;= 0, a
   *     negative friction)
   */
  public static Mechanism flywheel(
      double gearRatio, double momentOfInertiaKgM2, double viscousNmPerRadPerS, double coulombNm) {
    return of(SimJNI.flywheel(gearRatio, momentOfInertiaKgM2, viscousNmPerRadPerS, coulombNm));
  }

  /**
   * An arm: a uniform rod about one end, hard stops at the angle limits.
   *
   * @param gearRatio motor rotations per arm rotation
   * @param massKg the arm's mass
   * @param lengthM the arm's length
   * @param minAngleRad the lower stop ({@code -kNoLimit} for none)
   * @param maxAngleRad the upper stop ({@link #kNoLimit} for none)
   * @return the mechanism, or null for invalid parameters
   */
  public static Mechanism arm(
      double gearRatio, double massKg, double lengthM, double minAngleRad, double maxAngleRad) {
    return of(SimJNI.arm(gearRatio, massKg, lengthM, minAngleRad, maxAngleRad, 0.0, 0.0));
  }

  /**
   * An elevator: a carriage on a cable wound on a drum, hard stops at the travel limits.
   *
   * @param gearRatio motor rotations per drum rotation
   * @param carriageMassKg the carriage's mass
   * @param drumRadiusM the drum's radius
   * @param minHeightM the lower stop
   * @param maxHeightM the upper stop ({@link #kNoLimit} for none)
   * @return the mechanism, or null for invalid parameters
   */
  public static Mechanism elevator(
      double gearRatio,
      double carriageMassKg,
      double drumRadiusM,
      double minHeightM,
      double maxHeightM) {
    return of(
        SimJNI.elevator(gearRatio, carriageMassKg, drumRadiusM, minHeightM, maxHeightM, 0.0, 0.0));
  }

  int handle() {
    return m_handle;
  }

  /**
   * The position.
   *
   * @return radians or metres; 0.0 after close
   */
  public double getPosition() {
    return SimJNI.mechanismPosition(m_handle);
  }

  /**
   * The velocity.
   *
   * @return radians or metres per second; 0.0 after close
   */
  public double getVelocity() {
    return SimJNI.mechanismVelocity(m_handle);
  }

  /**
   * Places the mechanism (within its limits).
   *
   * @param position radians or metres
   * @param velocity per second
   * @return false for a non-finite value, or after close
   */
  public boolean setState(double position, double velocity) {
    return SimJNI.mechanismSetState(m_handle, position, velocity);
  }

  /**
   * The gear ratio.
   *
   * @return motor rotations per output rotation; 0.0 after close
   */
  public double getGearRatio() {
    return SimJNI.mechanismGearRatio(m_handle);
  }

  /** Drops this object's reference; idempotent. */
  @Override
  public void close() {
    int handle = m_handle;
    m_handle = 0;
    SimJNI.mechanismClose(handle);
  }
}
