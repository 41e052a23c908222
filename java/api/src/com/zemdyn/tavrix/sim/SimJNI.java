package com.zemdyn.tavrix.sim;

/**
 * The native methods of this package: each calls the C++ simulated controller or mechanism behind
 * a handle (libTavrixSimJava, over libTavrixSim). Loaded on first use with {@code
 * System.loadLibrary("TavrixSimJava")}, from the same folder as libTavrixJava.
 */
final class SimJNI {
  static {
    System.loadLibrary("TavrixSimJava");
  }

  private SimJNI() {}

  static native int create(int deviceNumber);

  static native void close(int handle);

  static native boolean attach(int handle);

  static native void detach(int handle);

  static native boolean isAttached(int handle);

  static native boolean getState(int handle, double[] values, long[] counts);

  static native double getAppliedOutput(int handle);

  static native double getVelocity(int handle);

  static native double getPosition(int handle);

  static native double getOutputCurrent(int handle);

  static native double getTemperature(int handle);

  static native double getMotorVoltage(int handle);

  static native boolean setRotorState(int handle, double rotations, double rpm);

  static native void releaseRotorState(int handle);

  static native long getParameter(int handle, int id);

  static native boolean setParameter(int handle, int id, int word, int type);

  static native void setLimitSwitch(int handle, boolean forward, boolean pressed);

  static native boolean setBusVoltage(int handle, double volts);

  static native boolean attachMechanism(int handle, int mechanismHandle);

  static native void setFirmware(int handle, int version, boolean debug);

  static native boolean setClosedLoopQuantity(int handle, int controlType, int quantity);

  static native void setFaultBits(int handle, int bits);

  static native void setBusFaults(
      int handle,
      boolean silent,
      long replyDelayUs,
      int replyLength,
      boolean corruptFollowerEcho,
      boolean statusFramesStopped);

  static native void powerCycle(int handle);

  static native void resetSimulation();

  static native boolean setBattery(double openCircuitVolts, double resistanceOhm);

  static native double getBatteryBusVoltage();

  static native int flywheel(double gearRatio, double moiKgM2, double viscous, double coulomb);

  static native int arm(
      double gearRatio,
      double massKg,
      double lengthM,
      double minAngleRad,
      double maxAngleRad,
      double viscous,
      double coulomb);

  static native int elevator(
      double gearRatio,
      double carriageMassKg,
      double drumRadiusM,
      double minHeightM,
      double maxHeightM,
      double viscous,
      double coulomb);

  static native void mechanismClose(int handle);

  static native double mechanismPosition(int handle);

  static native double mechanismVelocity(int handle);

  static native boolean mechanismSetState(int handle, double position, double velocity);

  static native double mechanismGearRatio(int handle);

  static native void errorLogStart();

  static native void errorLogStop();

  static native String[] errorLogTake();
}
