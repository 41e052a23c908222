package com.zemdyn.tavrix;

/**
 * A view of one controller's motor encoder: position, velocity and their conversion factors; the
 * C++ {@code zem::CANEncoder}. Used under its device's thread rule (one thread at a time for the
 * device and all its views). After the device's {@code close()} every call gives its fallback.
 * Allocates nothing; nothing throws.
 */
public final class CANEncoder {
  private final CANTavrix m_device;

  CANEncoder(CANTavrix device) {
    m_device = device;
  }

  /**
   * The position (status frame 2), as the controller scales it by the conversion factor; returns
   * at once.
   *
   * @return the position; 0.0 when no fresh frame came
   */
  public double getPosition() {
    return TavrixJNI.encoderGetPosition(m_device.handle());
  }

  /**
   * The velocity (status frame 1), as the controller scales it; returns at once.
   *
   * @return the velocity; 0.0 when no fresh frame came
   */
  public double getVelocity() {
    return TavrixJNI.encoderGetVelocity(m_device.handle());
  }

  /**
   * Sets the position; one frame, no reply awaited.
   *
   * @param position the new position
   * @return kSuccess
   */
  public CANError setPosition(double position) {
    return CANError.fromValue(TavrixJNI.encoderSetPosition(m_device.handle(), position));
  }

  /**
   * Sets the position conversion factor; one frame, no reply awaited.
   *
   * @param factor position units per motor rotation
   * @return kSuccess
   */
  public CANError setPositionConversionFactor(double factor) {
    return CANError.fromValue(
        TavrixJNI.encoderSetPositionConversionFactor(m_device.handle(), factor));
  }

  /**
   * Sets the velocity conversion factor; one frame, no reply awaited.
   *
   * @param factor velocity units per motor rpm
   * @return kSuccess
   */
  public CANError setVelocityConversionFactor(double factor) {
    return CANError.fromValue(
        TavrixJNI.encoderSetVelocityConversionFactor(m_device.handle(), factor));
  }

  /**
   * Reads the position conversion factor; blocks up to the device's CAN timeout.
   *
   * @return the factor; 0.0 when no answer came
   */
  public double getPositionConversionFactor() {
    return TavrixJNI.encoderGetPositionConversionFactor(m_device.handle());
  }

  /**
   * Reads the velocity conversion factor; blocks up to the device's CAN timeout.
   *
   * @return the factor; 0.0 when no answer came
   */
  public double getVelocityConversionFactor() {
    return TavrixJNI.encoderGetVelocityConversionFactor(m_device.handle());
  }
}
