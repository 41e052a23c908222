package com.zemdyn.tavrix;

/**
 * Control types of a setpoint; mirrors the C++ {@code zem::ControlType}. Each selects the API id of
 * the setpoint frame the driver repeats; the library gives them no other meaning. Type 0 is the
 * speed-controller output, -1.0 to 1.0.
 */
public enum ControlType {
  /** Speed-controller output, -1.0 to 1.0. */
  kControlType0(0),
  /** Control type 1. */
  kControlType1(1),
  /** Control type 2. */
  kControlType2(2),
  /** Control type 3. */
  kControlType3(3),
  /** Control type 4. */
  kControlType4(4),
  /** Control type 5. */
  kControlType5(5),
  /** Control type 6. */
  kControlType6(6);

  /** The C++ enumerator's value. */
  public final int value;

  ControlType(int value) {
    this.value = value;
  }
}
