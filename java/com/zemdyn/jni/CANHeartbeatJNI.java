// Device registry and heartbeat thread of the TavrixDriver native library.
// Load the library (System.loadLibrary("TavrixDriver")) before the first call.
package com.zemdyn.jni;

public final class CANHeartbeatJNI {
  private CANHeartbeatJNI() {}

  /** Start-up sweep: stops stale setpoint repetitions and zeroes devices 0..62 once. */
  public static native void HeartbeatInit();

  /** Starts the heartbeat thread once per process; returns 1. */
  public static native int RunHeartbeat();

  /** Sets the registry bit of a device number 1..62; other numbers are ignored. */
  public static native void RegisterDevice(int deviceId);

  /** Clears the registry bit of a device number 1..62; other numbers are ignored. */
  public static native void UnregisterDevice(int deviceId);
}
