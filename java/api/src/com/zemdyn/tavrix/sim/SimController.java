package com.zemdyn.tavrix.sim;

import edu.wpi.first.hal.HAL;

/**
 * A simulated motor controller in WPILib 2026's simulation: the C++ {@code
 * tavrix::sim::SimController}, which plays the device side of the HAL's simulated CAN bus for one
 * device number. It answers requests, keeps a parameter store, obeys setpoints, the heartbeat and
 * the follower command, runs a DC motor model and sends its status frames, on WPILib's clock: after
 * {@code SimHooks.pauseTiming()}, {@code SimHooks.stepTiming} moves it with the robot program's
 * notifiers; unpaused it runs in real time. Each attached controller is the HAL SimDevice
 * "Tavrix[n]" (read it with {@code SimDeviceSim}).
 *
 * <p><b>Threads.</b> Every call may be made from any thread (the C++ controller has its own lock),
 * except that {@link #close()} must not race with other calls on the same object. Requests are
 * answered inside the robot's send, so robot reads see the answer at once; a command takes effect
 * at the first 1 ms tick after it was sent.
 *
 * <p><b>Waits and failures.</b> No call waits for the clock; {@link #detach()} and {@link #close()}
 * return once no tick runs. Failures are false or 0.0 as stated; nothing throws. After {@link
 * #close()} every call does nothing and gives false or 0.0.
 *
 * <p><b>Allocation.</b> Construction, {@link #getState()}, {@link #getParameter}.
 */
public final class SimController implements AutoCloseable {
  /** What a closed-loop control type regulates; mirrors the C++ enumeration. */
  public enum ClosedLoopQuantity {
    /** Drives nothing. */
    kNone,
    /** The slot's PID on the position, plus kFF times the setpoint. */
    kPosition,
    /** The slot's PID on the velocity, plus kFF times the setpoint. */
    kVelocity,
    /** A trapezoidal move to the setpoint position within the slot's motion-profile limits. */
    kProfiledPosition
  }

  /** Which limit switch; mirrors the C++ enumeration. */
  public enum LimitSwitch {
    /** The forward switch. */
    kForward,
    /** The reverse switch. */
    kReverse
  }

  /** A parameter as stored: the 32-bit value word and the type code it was written with. */
  public static final class ParameterValue {
    /** The value word. */
    public final int word;
    /** The type code, 0..3. */
    public final int type;

    /**
     * A stored parameter.
     *
     * @param word the value word
     * @param type the type code
     */
    public ParameterValue(int word, int type) {
      this.word = word;
      this.type = type;
    }
  }

  private int m_handle;
  private final int m_deviceNumber;

  /**
   * Makes the controller and attaches it at once (see {@link #attach()}). Initialises the HAL first
   * ({@code HAL.initialize(500, 0)}, idempotent), since the HAL's simulation callbacks need it.
   *
   * @param deviceNumber the CAN device number it answers on, 0..63; outside that, or taken by
   *     another simulated controller, the object is made but not attached ({@link #isAttached()})
   */
  public SimController(int deviceNumber) {
    HAL.initialize(500, 0);
    m_deviceNumber = deviceNumber;
    m_handle = SimJNI.create(deviceNumber);
  }

  /**
   * Puts the controller on the bus and on the shared 1 ms tick.
   *
   * @return false when the device number is outside 0..63, another simulated controller has it,
   *     this one is attached already, or it is closed
   */
  public boolean attach() {
    return SimJNI.attach(m_handle);
  }

  /** Takes the controller off the bus; returns once no tick runs. Its state is kept. */
  public void detach() {
    SimJNI.detach(m_handle);
  }

  /**
   * Whether the controller is on the bus.
   *
   * @return the flag
   */
  public boolean isAttached() {
    return SimJNI.isAttached(m_handle);
  }

  /**
   * The device number given at construction.
   *
   * @return the number
   */
  public int getDeviceNumber() {
    return m_deviceNumber;
  }

  /**
   * A consistent snapshot of the controller.
   *
   * @return the state; all zeros after close
   */
  public SimState getState() {
    double[] values = new double[SimState.kValues];
    long[] counts = new long[SimState.kCounts];
    SimJNI.getState(m_handle, values, counts);
    return new SimState(values, counts);
  }

  /**
   * The applied output, -1..1.
   *
   * @return the output
   */
  public double getAppliedOutput() {
    return SimJNI.getAppliedOutput(m_handle);
  }

  /**
   * The velocity, in the velocity conversion factor's units.
   *
   * @return the velocity
   */
  public double getVelocity() {
    return SimJNI.getVelocity(m_handle);
  }

  /**
   * The position, in the position conversion factor's units.
   *
   * @return the position
   */
  public double getPosition() {
    return SimJNI.getPosition(m_handle);
  }

  /**
   * The output current's magnitude.
   *
   * @return amperes
   */
  public double getOutputCurrent() {
    return SimJNI.getOutputCurrent(m_handle);
  }

  /**
   * The motor temperature.
   *
   * @return degrees Celsius
   */
  public double getTemperature() {
    return SimJNI.getTemperature(m_handle);
  }

  /**
   * The volts across the motor as of the last tick (0 with the windings open), to feed one's own
   * physics model (a {@code DCMotorSim}, {@code SingleJointedArmSim}, ...).
   *
   * @return volts
   */
  public double getMotorVoltage() {
    return SimJNI.getMotorVoltage(m_handle);
  }

  /**
   * The motor shaft's position and speed from one's own model. From the first tick after the call
   * on, the controller's motion model no longer moves the shaft: the encoder reads the given
   * rotations through the position conversion factor, the velocity is the given speed through the
   * velocity factor, and current and heating follow from the given speed and the applied voltage.
   * Call it each time the model steps.
   *
   * @param rotations motor shaft rotations
   * @param rpm motor shaft speed
   * @return false (nothing changed) for a non-finite value, or after close
   */
  public boolean setRotorState(double rotations, double rpm) {
    return SimJNI.setRotorState(m_handle, rotations, rpm);
  }

  /** Back to the built-in model (or mechanism) from the next tick on. */
  public void releaseRotorState() {
    SimJNI.releaseRotorState(m_handle);
  }

  /**
   * A parameter from the store.
   *
   * @param id the parameter id
   * @return the stored value, or null for an id the controller does not know (and after close)
   */
  public ParameterValue getParameter(int id) {
    long packed = SimJNI.getParameter(m_handle, id);
    if (packed < 0) {
      return null;
    }
    return new ParameterValue((int) packed, (int) (packed >>> 32));
  }

  /**
   * Writes a parameter into the store, as if the robot had.
   *
   * @param id the parameter id
   * @param word the value word
   * @param type the type code, 0..3
   * @return false for an unknown id or a type code outside 0..3
   */
  public boolean setParameter(int id, int word, int type) {
    return SimJNI.setParameter(m_handle, id, word, type);
  }

  /**
   * Presses or releases a limit switch.
   *
   * @param which the switch; null does nothing
   * @param pressed true while pressed
   */
  public void setLimitSwitch(LimitSwitch which, boolean pressed) {
    if (which != null) {
      SimJNI.setLimitSwitch(m_handle, which == LimitSwitch.kForward, pressed);
    }
  }

  /**
   * Fixes the bus voltage (the battery no longer counts for this controller).
   *
   * @param volts the voltage
   * @return false (nothing changed) for a negative or non-finite voltage
   */
  public boolean setBusVoltage(double volts) {
    return SimJNI.setBusVoltage(m_handle, volts);
  }

  /**
   * Puts the motor on a mechanism's gearbox: the encoder reads the mechanism through its gear ratio
   * and the conversion factors; the torques of all controllers on it add. Null: back to the
   * controller's own light load.
   *
   * @param mechanism the mechanism, or null
   * @return false for a closed mechanism or controller
   */
  public boolean attachMechanism(Mechanism mechanism) {
    return SimJNI.attachMechanism(m_handle, mechanism != null ? mechanism.handle() : 0);
  }

  /**
   * The firmware version answered on request.
   *
   * @param version major &lt;&lt; 24 | minor &lt;&lt; 16 | build
   * @param debugBuild the debug flag answered
   */
  public void setFirmware(int version, boolean debugBuild) {
    SimJNI.setFirmware(m_handle, version, debugBuild);
  }

  /**
   * Overrides what a control type regulates; kept across power cycles.
   *
   * @param controlType 1..6
   * @param quantity what it regulates
   * @return false for a control type outside 1..6 or a null quantity
   */
  public boolean setClosedLoopQuantity(int controlType, ClosedLoopQuantity quantity) {
    if (quantity == null) {
      return false;
    }
    return SimJNI.setClosedLoopQuantity(m_handle, controlType, quantity.ordinal());
  }

  /**
   * Fault bits 0..13 reported in status frame 0 (bits 14 and 15 belong to the limit switches).
   *
   * @param bits the bits
   */
  public void setFaultBits(int bits) {
    SimJNI.setFaultBits(m_handle, bits);
  }

  /**
   * Injects faults of the controller's side of the bus.
   *
   * @param faults the faults; null clears them
   */
  public void setBusFaults(BusFaults faults) {
    BusFaults f = faults != null ? faults : new BusFaults();
    SimJNI.setBusFaults(
        m_handle,
        f.silent,
        f.replyDelayUs,
        f.replyLength,
        f.corruptFollowerEcho,
        f.statusFramesStopped);
  }

  /**
   * A simulated power cycle: the parameter store returns to what was last burned, and the motion,
   * follower mode, last setpoint, heartbeat, sticky faults and status periods start afresh.
   */
  public void powerCycle() {
    SimJNI.powerCycle(m_handle);
  }

  /** Detaches and frees the C++ controller; idempotent. */
  @Override
  public void close() {
    int handle = m_handle;
    m_handle = 0;
    SimJNI.close(handle);
  }

  /**
   * Fresh state for the next test within one process: detaches every simulated controller, clears
   * the bus content, puts the battery back to its defaults and pauses the clock. The driver's tables
   * (registered devices, setpoints) are process-wide and stay. Call from the test's thread.
   */
  public static void resetSimulation() {
    SimJNI.resetSimulation();
  }

  /**
   * The robot battery every controller without a fixed bus voltage sees: open-circuit volts less
   * the resistance times the total current. Process-wide.
   *
   * @param openCircuitVolts volts with no load
   * @param resistanceOhm internal and wiring resistance
   * @return false (nothing changed) for an invalid model
   */
  public static boolean setBattery(double openCircuitVolts, double resistanceOhm) {
    return SimJNI.setBattery(openCircuitVolts, resistanceOhm);
  }

  /**
   * The bus voltage the battery gives now.
   *
   * @return volts
   */
  public static double getBatteryBusVoltage() {
    return SimJNI.getBatteryBusVoltage();
  }
}
