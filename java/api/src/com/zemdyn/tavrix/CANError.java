package com.zemdyn.tavrix;

/**
 * Result of every command and setter of the device interface (raw parameter access gives {@link
 * CANTavrixLowLevel.ParameterStatus} instead); mirrors the C++ {@code zem::CANError}. Nothing in the
 * library throws: failures come back as these values.
 */
public enum CANError {
  /**
   * The frame was handed to the bus, the setpoint to the driver, or the setting stored; for {@code
   * follow}, the echo came back unchanged.
   */
  kSuccess(0),
  /**
   * An argument was refused before anything was sent (a control type outside 0..6; for control
   * types 1..6 a setpoint that is NaN, infinite or beyond the float range, or a NaN or infinite
   * feed-forward; a status frame outside 0..2; a PID slot outside 0..3; a null leader), the follower
   * echo was short or differed, or the object was closed.
   */
  kFailed(1),
  /** {@code follow} only: no echo within the device's CAN timeout. */
  kNoReply(2);

  /** The C++ enumerator's value. */
  public final int value;

  private static final CANError[] kByValue = values();

  CANError(int value) {
    this.value = value;
  }

  /**
   * The constant of a C++ value; {@link #kFailed} for a value the C++ enumeration does not have.
   * Allocates nothing.
   *
   * @param value the C++ enumerator's value
   * @return the constant
   */
  public static CANError fromValue(int value) {
    return value >= 0 && value < kByValue.length ? kByValue[value] : kFailed;
  }
}
