package com.zemdyn.tavrix;

/**
 * A view of one of a controller's two limit switches: its polarity and enable parameters and the
 * switch bit of the controller's fault word; the C++ {@code zem::CANDigitalInput}. Used under its
 * device's thread rule. A newer view of the same switch (from {@code getForwardLimitSwitch} or
 * {@code getReverseLimitSwitch}) takes over the C++ view; an older Java view then acts through the
 * newer one. After the device's {@code close()} every call gives its fallback. Nothing throws.
 */
public final class CANDigitalInput {
  /** Which switch; mirrors the C++ enumeration. */
  public enum LimitSwitch {
    /** The forward switch. */
    kForward(0),
    /** The reverse switch. */
    kReverse(1);

    /** The C++ enumerator's value. */
    public final int value;

    LimitSwitch(int value) {
      this.value = value;
    }
  }

  /** The switch's polarity; mirrors the C++ enumeration. */
  public enum LimitSwitchPolarity {
    /** Polarity 0. */
    kPolarity0(0),
    /** Polarity 1. */
    kPolarity1(1);

    /** The C++ enumerator's value. */
    public final int value;

    LimitSwitchPolarity(int value) {
      this.value = value;
    }
  }

  private final CANTavrix m_device;
  private final LimitSwitch m_switch;

  /** Makes the C++ view, which writes the polarity parameter (one frame, no reply awaited). */
  CANDigitalInput(CANTavrix device, LimitSwitch which, LimitSwitchPolarity polarity) {
    m_device = device;
    m_switch = which;
    int polarityValue = polarity != null ? polarity.value : LimitSwitchPolarity.kPolarity1.value;
    TavrixJNI.limitCreate(device.handle(), which.value, polarityValue);
  }

  /**
   * The switch bit of a freshly read fault word, whatever the enable setting; returns at once.
   *
   * @return true while pressed; false when no fresh frame came
   */
  public boolean get() {
    return TavrixJNI.limitGet(m_device.handle(), m_switch.value);
  }

  /**
   * Turns the switch's effect on the motor on or off; one frame, no reply awaited.
   *
   * @param enable true to let the switch stop the motor
   * @return kSuccess
   */
  public CANError enableLimitSwitch(boolean enable) {
    return CANError.fromValue(TavrixJNI.limitEnable(m_device.handle(), m_switch.value, enable));
  }

  /**
   * Reads the enable parameter; blocks up to the device's CAN timeout.
   *
   * @return the setting; false when no answer came
   */
  public boolean isLimitSwitchEnabled() {
    return TavrixJNI.limitIsEnabled(m_device.handle(), m_switch.value);
  }
}
