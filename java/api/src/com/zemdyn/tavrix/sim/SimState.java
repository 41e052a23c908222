package com.zemdyn.tavrix.sim;

/**
 * A consistent snapshot of a simulated controller; the fields of the C++ {@code
 * tavrix::sim::SimState}, plus the motor voltage of the same moment. Immutable.
 */
public final class SimState {
  /** The last setpoint the controller received. */
  public static final class LastSetpoint {
    /** Whether any setpoint came. */
    public final boolean received;
    /** Its API id. */
    public final int apiId;
    /** Its control type (0 for API ids 0 and 2). */
    public final int controlType;
    /** Its value. */
    public final double value;
    /** Its auxiliary word (kept; the controller gives it no meaning). */
    public final int aux;
    /** Its gain slot. */
    public final int pidSlot;

    LastSetpoint(double[] v) {
      received = v[14] != 0.0;
      apiId = (int) v[15];
      controlType = (int) v[16];
      value = v[17];
      aux = (int) v[18];
      pidSlot = (int) v[19];
    }
  }

  /** Frames received from the robot, by kind. */
  public static final class CommandCounts {
    /** Setpoint frames. */
    public final long setpoints;
    /** Heartbeats. */
    public final long heartbeats;
    /** Parameter writes. */
    public final long parameterWrites;
    /** Parameter reads. */
    public final long parameterReads;
    /** Firmware requests. */
    public final long firmwareRequests;
    /** Follower commands. */
    public final long followerCommands;
    /** Status-period commands. */
    public final long periodCommands;
    /** Clear-faults commands. */
    public final long clearFaults;
    /** Burn-flash commands. */
    public final long burnFlashes;
    /** Factory-defaults commands. */
    public final long factoryDefaults;
    /** Encoder-position sets. */
    public final long encoderPositionSets;
    /** Integral-accumulator sets. */
    public final long iAccumSets;
    /** Frames addressed to this device that it did not act on. */
    public final long rejected;

    CommandCounts(long[] c) {
      setpoints = c[0];
      heartbeats = c[1];
      parameterWrites = c[2];
      parameterReads = c[3];
      firmwareRequests = c[4];
      followerCommands = c[5];
      periodCommands = c[6];
      clearFaults = c[7];
      burnFlashes = c[8];
      factoryDefaults = c[9];
      encoderPositionSets = c[10];
      iAccumSets = c[11];
      rejected = c[12];
    }
  }

  static final int kValues = 21;
  static final int kCounts = 13;

  /** -1..1, what status frame 0 reports. */
  public final double appliedOutput;
  /** In the velocity conversion factor's units. */
  public final double velocity;
  /** In the position conversion factor's units. */
  public final double position;
  /** Amperes, magnitude. */
  public final double outputCurrent;
  /** Degrees Celsius. */
  public final double temperatureC;
  /** Volts. */
  public final double busVoltage;
  /** The closed loop's integral accumulator. */
  public final double iAccum;
  /** Fault bits. */
  public final int faults;
  /** Sticky fault bits. */
  public final int stickyFaults;
  /** In follower mode. */
  public final boolean isFollower;
  /** A fresh heartbeat carries this device's bit. */
  public final boolean outputsEnabled;
  /** Periods of status frames 0, 1, 2 in ms. */
  public final int[] statusPeriodMs;
  /** The volts across the motor as of the last tick. */
  public final double motorVoltage;
  /** The last setpoint received. */
  public final LastSetpoint lastSetpoint;
  /** Frames received, by kind. */
  public final CommandCounts counts;

  SimState(double[] v, long[] c) {
    appliedOutput = v[0];
    velocity = v[1];
    position = v[2];
    outputCurrent = v[3];
    temperatureC = v[4];
    busVoltage = v[5];
    iAccum = v[6];
    faults = (int) v[7];
    stickyFaults = (int) v[8];
    isFollower = v[9] != 0.0;
    outputsEnabled = v[10] != 0.0;
    statusPeriodMs = new int[] {(int) v[11], (int) v[12], (int) v[13]};
    lastSetpoint = new LastSetpoint(v);
    motorVoltage = v[20];
    counts = new CommandCounts(c);
  }
}
