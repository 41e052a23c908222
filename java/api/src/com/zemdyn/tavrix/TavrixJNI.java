package com.zemdyn.tavrix;

import edu.wpi.first.wpilibj.RobotBase;
import edu.wpi.first.wpilibj.simulation.SimHooks;

/**
 * The native methods of this package: each calls the C++ object behind a handle (libTavrixJava,
 * over libTavrix). Loaded on first use with {@code System.loadLibrary("TavrixJava")}, so {@code
 * -Djava.library.path} must name the folder of {@code libTavrixJava.so} (CMake package: {@code
 * Tavrix_JAVA_LIBRARY_PATH}); the library finds libTavrix, libTavrixDriver and WPILib's C++
 * libraries through its own run path. A handle of 0, or one whose object was closed, makes a call
 * give what the C++ call gives when the controller does not answer. In simulation, a shutdown hook
 * lets paused time run at exit, so that the driver's threads, which wait on HAL notifiers, stop and
 * the JVM exits by itself.
 */
final class TavrixJNI {
  static {
    System.loadLibrary("TavrixJava");
    if (RobotBase.isSimulation()) {
      // The driver's threads wait on HAL notifiers; at exit their owners stop
      // and join them. A simulated program that ends while time is paused
      // would leave them waiting for a step that never comes: let time run.
      Runtime.getRuntime()
          .addShutdownHook(new Thread(SimHooks::resumeTiming, "Tavrix exit: resume timing"));
    }
  }

  private TavrixJNI() {}

  /** Forces the library to load (a no-op once the class is initialised). */
  static void load() {}

  static native int create(int deviceId, int motorType);

  static native void close(int handle);

  static native void reportUseAfterClose(int deviceId);

  static native int getFirmwareVersion(int handle, boolean[] isDebugBuild);

  static native String getFirmwareString(int handle);

  static native int getMotorType(int handle);

  static native int setMotorType(int handle, int type);

  static native int setParameterInt(int handle, int id, int value);

  static native int setParameterUint32(int handle, int id, int bits);

  static native int setParameterDouble(int handle, int id, double value);

  static native int setParameterBool(int handle, int id, boolean value);

  static native int getParameterDouble(int handle, int id, double[] out);

  static native int getParameterInt(int handle, int id, int[] out);

  static native int getParameterUint32(int handle, int id, long[] out);

  static native int getParameterBool(int handle, int id, boolean[] out);

  static native int getParameterType(int handle, int id);

  static native int restoreFactoryDefaults(int handle, boolean flag);

  static native int setPeriodicFramePeriod(int handle, int frame, int periodMs);

  static native long getStatusFrameAgeMs(int handle, int frame);

  static native int setControlFramePeriodMs(int handle, int periodMs);

  static native int setEncPosition(int handle, double position);

  static native int setIAccum(int handle, double value);

  static native void set(int handle, double speed);

  static native double get(int handle);

  static native void setVoltage(int handle, double volts);

  static native void setInverted(int handle, boolean inverted);

  static native boolean getInverted(int handle);

  static native void disable(int handle);

  static native void stopMotor(int handle);

  static native void pidWrite(int handle, double output);

  static native int setSmartCurrentLimit(int handle, int stall, int free, int limitRpm);

  static native int setSmartCurrentLimit1(int handle, int limit);

  static native int setSecondaryCurrentLimit(int handle, double limit, int cycles);

  static native int setIdleMode(int handle, int mode);

  static native int getIdleMode(int handle);

  static native int enableVoltageCompensation(int handle, double volts);

  static native int disableVoltageCompensation(int handle);

  static native double getVoltageCompensationNominalVoltage(int handle);

  static native int setOpenLoopRampRate(int handle, double rate);

  static native int setClosedLoopRampRate(int handle, double rate);

  static native double getOpenLoopRampRate(int handle);

  static native double getClosedLoopRampRate(int handle);

  static native int follow(int handle, int leaderHandle, boolean invert);

  static native int followExternal(
      int handle, int leaderFrameId, int leaderKind, int deviceId, boolean invert);

  static native int[] followerTavrix();

  static native boolean isFollower(int handle);

  static native int getFaults(int handle);

  static native int getStickyFaults(int handle);

  static native boolean getFault(int handle, int fault);

  static native boolean getStickyFault(int handle, int fault);

  static native double getBusVoltage(int handle);

  static native double getAppliedOutput(int handle);

  static native double getOutputCurrent(int handle);

  static native double getMotorTemperature(int handle);

  static native int clearFaults(int handle);

  static native int burnFlash(int handle);

  static native int setCANTimeout(int handle, int milliseconds);

  static native double encoderGetPosition(int handle);

  static native double encoderGetVelocity(int handle);

  static native int encoderSetPosition(int handle, double position);

  static native int encoderSetPositionConversionFactor(int handle, double factor);

  static native int encoderSetVelocityConversionFactor(int handle, double factor);

  static native double encoderGetPositionConversionFactor(int handle);

  static native double encoderGetVelocityConversionFactor(int handle);

  static native int pidSetReference(
      int handle, double value, int controlType, int slot, double arbFeedforward);

  static native int pidSet(int handle, int setting, double value, int slot);

  static native double pidGet(int handle, int setting, int slot);

  static native int pidSetOutputRange(int handle, double min, double max, int slot);

  static native int pidSetIAccum(int handle, double value);

  static native double pidGetIAccum(int handle);

  static native boolean limitCreate(int handle, int which, int polarity);

  static native boolean limitGet(int handle, int which);

  static native int limitEnable(int handle, int which, boolean enable);

  static native boolean limitIsEnabled(int handle, int which);

  static native double[] pwmPulseBoundsMs();

  static native int pwmUsageResource();
}
