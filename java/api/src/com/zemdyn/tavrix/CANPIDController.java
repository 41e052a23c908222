package com.zemdyn.tavrix;

/**
 * A view of one controller's closed loop: gains and limits of the four gain slots, the
 * motion-profile settings, the integral accumulator and the reference; the C++ {@code
 * zem::CANPIDController}. Used under its device's thread rule (one thread at a time for the device
 * and all its views). After the device's {@code close()} every call gives its fallback. Allocates
 * nothing; nothing throws.
 *
 * <p>Slots are 0..3: a setter given another slot returns kFailed and a getter 0.0
 * (kAccelStrategy0), with no frame sent. Otherwise a setter sends one frame per parameter, awaits
 * nothing and returns kSuccess; a getter reads one parameter, blocking up to the device's CAN
 * timeout (20 ms by default), and gives 0.0 when no answer came.
 */
public final class CANPIDController {
  /** The motion profile's acceleration strategy; mirrors the C++ enumeration. */
  public enum AccelStrategy {
    /** Strategy 0. */
    kAccelStrategy0(0),
    /** Strategy 1. */
    kAccelStrategy1(1);

    /** The C++ enumerator's value. */
    public final int value;

    AccelStrategy(int value) {
      this.value = value;
    }
  }

  // The kinds of per-slot settings, as the native side numbers them.
  private static final int kSettingP = 0;
  private static final int kSettingI = 1;
  private static final int kSettingD = 2;
  private static final int kSettingDFilter = 3;
  private static final int kSettingFF = 4;
  private static final int kSettingIZone = 5;
  private static final int kSettingSmartMotionMaxVelocity = 8;
  private static final int kSettingSmartMotionMaxAccel = 9;
  private static final int kSettingSmartMotionMinOutputVelocity = 10;
  private static final int kSettingSmartMotionAllowedClosedLoopError = 11;
  private static final int kSettingIMaxAccum = 13;
  private static final int kSettingOutputMin = 6;
  private static final int kSettingOutputMax = 7;
  private static final int kSettingSmartMotionAccelStrategy = 12;

  private final CANTavrix m_device;

  CANPIDController(CANTavrix device) {
    m_device = device;
  }

  /**
   * Commands a control type 0..6 setpoint on slot 0, no feed-forward; as {@link
   * #setReference(double, ControlType, int, double)}.
   *
   * @param value the setpoint
   * @param ctrl the control type
   * @return kSuccess or kFailed
   */
  public CANError setReference(double value, ControlType ctrl) {
    return setReference(value, ctrl, 0, 0.0);
  }

  /**
   * Commands a setpoint on a slot, no feed-forward; as {@link #setReference(double, ControlType,
   * int, double)}.
   *
   * @param value the setpoint
   * @param ctrl the control type
   * @param pidSlot the gain slot
   * @return kSuccess or kFailed
   */
  public CANError setReference(double value, ControlType ctrl, int pidSlot) {
    return setReference(value, ctrl, pidSlot, 0.0);
  }

  /**
   * Commands a setpoint of any control type; the device's {@code get()} is untouched. Only stores:
   * the driver repeats it every control-frame period; no wait, nothing allocated.
   *
   * @param value the setpoint
   * @param ctrl the control type; null gives kFailed
   * @param pidSlot the gain slot
   * @param arbFeedforward the feed-forward
   * @return kSuccess; kFailed, nothing stored (the previous setpoint keeps going out), for control
   *     types 1..6 with a value that is NaN, infinite or beyond the float range, or a NaN or
   *     infinite feed-forward (for type 0 such a value goes out as 0.0)
   */
  public CANError setReference(double value, ControlType ctrl, int pidSlot, double arbFeedforward) {
    if (ctrl == null) {
      return CANError.kFailed;
    }
    return CANError.fromValue(
        TavrixJNI.pidSetReference(m_device.handle(), value, ctrl.value, pidSlot, arbFeedforward));
  }

  private CANError set(int setting, double value, int slotID) {
    return CANError.fromValue(TavrixJNI.pidSet(m_device.handle(), setting, value, slotID));
  }

  private double get(int setting, int slotID) {
    return TavrixJNI.pidGet(m_device.handle(), setting, slotID);
  }

  /**
   * Sets the proportional gain of slot 0; as {@link #setP(double, int)}.
   *
   * @param value the value
   * @return kSuccess
   */
  public CANError setP(double value) {
    return setP(value, 0);
  }

  /**
   * Sets the proportional gain of a slot; one frame, no reply awaited.
   *
   * @param value the value
   * @param slotID the slot, 0..3
   * @return kSuccess; kFailed, nothing sent, for another slot
   */
  public CANError setP(double value, int slotID) {
    return set(kSettingP, value, slotID);
  }

  /**
   * Reads the proportional gain of slot 0; as {@link #getP(int)}.
   *
   * @return the value; 0.0 when no answer came
   */
  public double getP() {
    return getP(0);
  }

  /**
   * Reads the proportional gain of a slot; blocks up to the device's CAN timeout.
   *
   * @param slotID the slot, 0..3
   * @return the value; 0.0 when no answer came or for another slot
   */
  public double getP(int slotID) {
    return get(kSettingP, slotID);
  }

  /**
   * Sets the integral gain of slot 0; as {@link #setI(double, int)}.
   *
   * @param value the value
   * @return kSuccess
   */
  public CANError setI(double value) {
    return setI(value, 0);
  }

  /**
   * Sets the integral gain of a slot; one frame, no reply awaited.
   *
   * @param value the value
   * @param slotID the slot, 0..3
   * @return kSuccess; kFailed, nothing sent, for another slot
   */
  public CANError setI(double value, int slotID) {
    return set(kSettingI, value, slotID);
  }

  /**
   * Reads the integral gain of slot 0; as {@link #getI(int)}.
   *
   * @return the value; 0.0 when no answer came
   */
  public double getI() {
    return getI(0);
  }

  /**
   * Reads the integral gain of a slot; blocks up to the device's CAN timeout.
   *
   * @param slotID the slot, 0..3
   * @return the value; 0.0 when no answer came or for another slot
   */
  public double getI(int slotID) {
    return get(kSettingI, slotID);
  }

  /**
   * Sets the derivative gain of slot 0; as {@link #setD(double, int)}.
   *
   * @param value the value
   * @return kSuccess
   */
  public CANError setD(double value) {
    return setD(value, 0);
  }

  /**
   * Sets the derivative gain of a slot; one frame, no reply awaited.
   *
   * @param value the value
   * @param slotID the slot, 0..3
   * @return kSuccess; kFailed, nothing sent, for another slot
   */
  public CANError setD(double value, int slotID) {
    return set(kSettingD, value, slotID);
  }

  /**
   * Reads the derivative gain of slot 0; as {@link #getD(int)}.
   *
   * @return the value; 0.0 when no answer came
   */
  public double getD() {
    return getD(0);
  }

  /**
   * Reads the derivative gain of a slot; blocks up to the device's CAN timeout.
   *
   * @param slotID the slot, 0..3
   * @return the value; 0.0 when no answer came or for another slot
   */
  public double getD(int slotID) {
    return get(kSettingD, slotID);
  }

  /**
   * Sets the derivative filter, clamped into [0, 1] of slot 0; as {@link #setDFilter(double, int)}.
   *
   * @param value the value
   * @return kSuccess
   */
  public CANError setDFilter(double value) {
    return setDFilter(value, 0);
  }

  /**
   * Sets the derivative filter, clamped into [0, 1] of a slot; one frame, no reply awaited.
   *
   * @param value the value
   * @param slotID the slot, 0..3
   * @return kSuccess; kFailed, nothing sent, for another slot
   */
  public CANError setDFilter(double value, int slotID) {
    return set(kSettingDFilter, value, slotID);
  }

  /**
   * Reads the derivative filter, clamped into [0, 1] of slot 0; as {@link #getDFilter(int)}.
   *
   * @return the value; 0.0 when no answer came
   */
  public double getDFilter() {
    return getDFilter(0);
  }

  /**
   * Reads the derivative filter, clamped into [0, 1] of a slot; blocks up to the device's CAN timeout.
   *
   * @param slotID the slot, 0..3
   * @return the value; 0.0 when no answer came or for another slot
   */
  public double getDFilter(int slotID) {
    return get(kSettingDFilter, slotID);
  }

  /**
   * Sets the feed-forward gain of slot 0; as {@link #setFF(double, int)}.
   *
   * @param value the value
   * @return kSuccess
   */
  public CANError setFF(double value) {
    return setFF(value, 0);
  }

  /**
   * Sets the feed-forward gain of a slot; one frame, no reply awaited.
   *
   * @param value the value
   * @param slotID the slot, 0..3
   * @return kSuccess; kFailed, nothing sent, for another slot
   */
  public CANError setFF(double value, int slotID) {
    return set(kSettingFF, value, slotID);
  }

  /**
   * Reads the feed-forward gain of slot 0; as {@link #getFF(int)}.
   *
   * @return the value; 0.0 when no answer came
   */
  public double getFF() {
    return getFF(0);
  }

  /**
   * Reads the feed-forward gain of a slot; blocks up to the device's CAN timeout.
   *
   * @param slotID the slot, 0..3
   * @return the value; 0.0 when no answer came or for another slot
   */
  public double getFF(int slotID) {
    return get(kSettingFF, slotID);
  }

  /**
   * Sets the integral zone of slot 0; as {@link #setIZone(double, int)}.
   *
   * @param value the value
   * @return kSuccess
   */
  public CANError setIZone(double value) {
    return setIZone(value, 0);
  }

  /**
   * Sets the integral zone of a slot; one frame, no reply awaited.
   *
   * @param value the value
   * @param slotID the slot, 0..3
   * @return kSuccess; kFailed, nothing sent, for another slot
   */
  public CANError setIZone(double value, int slotID) {
    return set(kSettingIZone, value, slotID);
  }

  /**
   * Reads the integral zone of slot 0; as {@link #getIZone(int)}.
   *
   * @return the value; 0.0 when no answer came
   */
  public double getIZone() {
    return getIZone(0);
  }

  /**
   * Reads the integral zone of a slot; blocks up to the device's CAN timeout.
   *
   * @param slotID the slot, 0..3
   * @return the value; 0.0 when no answer came or for another slot
   */
  public double getIZone(int slotID) {
    return get(kSettingIZone, slotID);
  }

  /**
   * Sets the motion profile's maximum velocity of slot 0; as {@link #setSmartMotionMaxVelocity(double, int)}.
   *
   * @param value the value
   * @return kSuccess
   */
  public CANError setSmartMotionMaxVelocity(double value) {
    return setSmartMotionMaxVelocity(value, 0);
  }

  /**
   * Sets the motion profile's maximum velocity of a slot; one frame, no reply awaited.
   *
   * @param value the value
   * @param slotID the slot, 0..3
   * @return kSuccess; kFailed, nothing sent, for another slot
   */
  public CANError setSmartMotionMaxVelocity(double value, int slotID) {
    return set(kSettingSmartMotionMaxVelocity, value, slotID);
  }

  /**
   * Reads the motion profile's maximum velocity of slot 0; as {@link #getSmartMotionMaxVelocity(int)}.
   *
   * @return the value; 0.0 when no answer came
   */
  public double getSmartMotionMaxVelocity() {
    return getSmartMotionMaxVelocity(0);
  }

  /**
   * Reads the motion profile's maximum velocity of a slot; blocks up to the device's CAN timeout.
   *
   * @param slotID the slot, 0..3
   * @return the value; 0.0 when no answer came or for another slot
   */
  public double getSmartMotionMaxVelocity(int slotID) {
    return get(kSettingSmartMotionMaxVelocity, slotID);
  }

  /**
   * Sets the motion profile's maximum acceleration of slot 0; as {@link #setSmartMotionMaxAccel(double, int)}.
   *
   * @param value the value
   * @return kSuccess
   */
  public CANError setSmartMotionMaxAccel(double value) {
    return setSmartMotionMaxAccel(value, 0);
  }

  /**
   * Sets the motion profile's maximum acceleration of a slot; one frame, no reply awaited.
   *
   * @param value the value
   * @param slotID the slot, 0..3
   * @return kSuccess; kFailed, nothing sent, for another slot
   */
  public CANError setSmartMotionMaxAccel(double value, int slotID) {
    return set(kSettingSmartMotionMaxAccel, value, slotID);
  }

  /**
   * Reads the motion profile's maximum acceleration of slot 0; as {@link #getSmartMotionMaxAccel(int)}.
   *
   * @return the value; 0.0 when no answer came
   */
  public double getSmartMotionMaxAccel() {
    return getSmartMotionMaxAccel(0);
  }

  /**
   * Reads the motion profile's maximum acceleration of a slot; blocks up to the device's CAN timeout.
   *
   * @param slotID the slot, 0..3
   * @return the value; 0.0 when no answer came or for another slot
   */
  public double getSmartMotionMaxAccel(int slotID) {
    return get(kSettingSmartMotionMaxAccel, slotID);
  }

  /**
   * Sets the motion profile's minimum output velocity of slot 0; as {@link #setSmartMotionMinOutputVelocity(double, int)}.
   *
   * @param value the value
   * @return kSuccess
   */
  public CANError setSmartMotionMinOutputVelocity(double value) {
    return setSmartMotionMinOutputVelocity(value, 0);
  }

  /**
   * Sets the motion profile's minimum output velocity of a slot; one frame, no reply awaited.
   *
   * @param value the value
   * @param slotID the slot, 0..3
   * @return kSuccess; kFailed, nothing sent, for another slot
   */
  public CANError setSmartMotionMinOutputVelocity(double value, int slotID) {
    return set(kSettingSmartMotionMinOutputVelocity, value, slotID);
  }

  /**
   * Reads the motion profile's minimum output velocity of slot 0; as {@link #getSmartMotionMinOutputVelocity(int)}.
   *
   * @return the value; 0.0 when no answer came
   */
  public double getSmartMotionMinOutputVelocity() {
    return getSmartMotionMinOutputVelocity(0);
  }

  /**
   * Reads the motion profile's minimum output velocity of a slot; blocks up to the device's CAN timeout.
   *
   * @param slotID the slot, 0..3
   * @return the value; 0.0 when no answer came or for another slot
   */
  public double getSmartMotionMinOutputVelocity(int slotID) {
    return get(kSettingSmartMotionMinOutputVelocity, slotID);
  }

  /**
   * Sets the allowed closed-loop error of slot 0; as {@link #setSmartMotionAllowedClosedLoopError(double, int)}.
   *
   * @param value the value
   * @return kSuccess
   */
  public CANError setSmartMotionAllowedClosedLoopError(double value) {
    return setSmartMotionAllowedClosedLoopError(value, 0);
  }

  /**
   * Sets the allowed closed-loop error of a slot; one frame, no reply awaited.
   *
   * @param value the value
   * @param slotID the slot, 0..3
   * @return kSuccess; kFailed, nothing sent, for another slot
   */
  public CANError setSmartMotionAllowedClosedLoopError(double value, int slotID) {
    return set(kSettingSmartMotionAllowedClosedLoopError, value, slotID);
  }

  /**
   * Reads the allowed closed-loop error of slot 0; as {@link #getSmartMotionAllowedClosedLoopError(int)}.
   *
   * @return the value; 0.0 when no answer came
   */
  public double getSmartMotionAllowedClosedLoopError() {
    return getSmartMotionAllowedClosedLoopError(0);
  }

  /**
   * Reads the allowed closed-loop error of a slot; blocks up to the device's CAN timeout.
   *
   * @param slotID the slot, 0..3
   * @return the value; 0.0 when no answer came or for another slot
   */
  public double getSmartMotionAllowedClosedLoopError(int slotID) {
    return get(kSettingSmartMotionAllowedClosedLoopError, slotID);
  }

  /**
   * Sets the integral accumulator's limit of slot 0; as {@link #setIMaxAccum(double, int)}.
   *
   * @param value the value
   * @return kSuccess
   */
  public CANError setIMaxAccum(double value) {
    return setIMaxAccum(value, 0);
  }

  /**
   * Sets the integral accumulator's limit of a slot; one frame, no reply awaited.
   *
   * @param value the value
   * @param slotID the slot, 0..3
   * @return kSuccess; kFailed, nothing sent, for another slot
   */
  public CANError setIMaxAccum(double value, int slotID) {
    return set(kSettingIMaxAccum, value, slotID);
  }

  /**
   * Reads the integral accumulator's limit of slot 0; as {@link #getIMaxAccum(int)}.
   *
   * @return the value; 0.0 when no answer came
   */
  public double getIMaxAccum() {
    return getIMaxAccum(0);
  }

  /**
   * Reads the integral accumulator's limit of a slot; blocks up to the device's CAN timeout.
   *
   * @param slotID the slot, 0..3
   * @return the value; 0.0 when no answer came or for another slot
   */
  public double getIMaxAccum(int slotID) {
    return get(kSettingIMaxAccum, slotID);
  }

  /**
   * Sets the output range of slot 0; as {@link #setOutputRange(double, double, int)}.
   *
   * @param min the lowest output
   * @param max the highest output
   * @return kSuccess
   */
  public CANError setOutputRange(double min, double max) {
    return setOutputRange(min, max, 0);
  }

  /**
   * Sets the output range of a slot, mirrored (negated, ends swapped) while the device is inverted;
   * one frame per parameter, no reply awaited.
   *
   * @param min the lowest output
   * @param max the highest output
   * @param slotID the slot, 0..3
   * @return kSuccess; kFailed, nothing sent, for another slot
   */
  public CANError setOutputRange(double min, double max, int slotID) {
    return CANError.fromValue(TavrixJNI.pidSetOutputRange(m_device.handle(), min, max, slotID));
  }

  /**
   * Reads the lowest output of slot 0; blocks up to the device's CAN timeout.
   *
   * @return the value; 0.0 when no answer came
   */
  public double getOutputMin() {
    return getOutputMin(0);
  }

  /**
   * Reads the lowest output of a slot; blocks up to the device's CAN timeout.
   *
   * @param slotID the slot, 0..3
   * @return the value; 0.0 when no answer came or for another slot
   */
  public double getOutputMin(int slotID) {
    return get(kSettingOutputMin, slotID);
  }

  /**
   * Reads the highest output of slot 0; blocks up to the device's CAN timeout.
   *
   * @return the value; 0.0 when no answer came
   */
  public double getOutputMax() {
    return getOutputMax(0);
  }

  /**
   * Reads the highest output of a slot; blocks up to the device's CAN timeout.
   *
   * @param slotID the slot, 0..3
   * @return the value; 0.0 when no answer came or for another slot
   */
  public double getOutputMax(int slotID) {
    return get(kSettingOutputMax, slotID);
  }

  /**
   * Sets the acceleration strategy of a slot; one frame, no reply awaited.
   *
   * @param accelStrategy the strategy; null gives kFailed, nothing sent
   * @param slotID the slot, 0..3
   * @return kSuccess; kFailed, nothing sent, for another slot
   */
  public CANError setSmartMotionAccelStrategy(AccelStrategy accelStrategy, int slotID) {
    if (accelStrategy == null) {
      return CANError.kFailed;
    }
    return set(kSettingSmartMotionAccelStrategy, accelStrategy.value, slotID);
  }

  /**
   * Reads the acceleration strategy of a slot; blocks up to the device's CAN timeout.
   *
   * @param slotID the slot, 0..3
   * @return the strategy; kAccelStrategy0 when no answer came or for another slot
   */
  public AccelStrategy getSmartMotionAccelStrategy(int slotID) {
    return get(kSettingSmartMotionAccelStrategy, slotID) == 1.0
        ? AccelStrategy.kAccelStrategy1
        : AccelStrategy.kAccelStrategy0;
  }

  /**
   * Sets the integral accumulator; one frame, no reply awaited.
   *
   * @param iAccum the accumulator
   * @return kSuccess
   */
  public CANError setIAccum(double iAccum) {
    return CANError.fromValue(TavrixJNI.pidSetIAccum(m_device.handle(), iAccum));
  }

  /**
   * The integral accumulator (status frame 2); returns at once.
   *
   * @return the accumulator; 0.0 when no fresh frame came
   */
  public double getIAccum() {
    return TavrixJNI.pidGetIAccum(m_device.handle());
  }
}
