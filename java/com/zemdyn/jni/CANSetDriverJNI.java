// Setpoint sender thread of the TavrixDriver native library.
// Load the library (System.loadLibrary("TavrixDriver")) before the first call.
package com.zemdyn.jni;

public final class CANSetDriverJNI {
  private CANSetDriverJNI() {}

  /** Part of the start sequence; does nothing. */
  public static native void SetDriverInit();

  /** Starts the setpoint thread once per process; returns 0. */
  public static native int RunSetDriver();

  /**
   * Stores a device's setpoint frame content. pidSlot and auxWord are taken as
   * bit patterns: (byte) -1 is slot 255. Device numbers outside 1..62 are ignored.
   */
  public static native void SetDriverSet4(int deviceId, float value, int apiId, byte pidSlot,
                                          short auxWord);

  /** Sets a device's control-frame period; 0 (or a negative period) stops its frames. */
  public static native void SetDriverSetCtrlFramePeriodMs(int deviceId, int periodMs);
}
