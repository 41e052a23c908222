package com.zemdyn.tavrix.bench;

import com.zemdyn.tavrix.CANTavrix;
import com.zemdyn.tavrix.CANTavrixLowLevel.MotorType;
import edu.wpi.first.hal.HAL;
import edu.wpi.first.wpilibj.simulation.SimHooks;
import java.util.Arrays;

/**
 * The cost of {@code CANTavrix.set(double)} from Java against its floor, a bare JNI call of the
 * same C++ {@code Set} through a raw pointer, measured in alternating slices of the same run
 * (medians of the per-call times), with the clock paused so that the driver's threads stay idle.
 * Also gives an empty JNI call for scale. Prints the figures; never fails on a ratio. Argument:
 * "quick" for a smoke run.
 */
public final class SetBench {
  static {
    System.loadLibrary("TavrixJavaBench");
  }

  private static final double kTarget = 1.5;

  private static native long rawCreate(int deviceId);

  private static native void rawSet(long device, double speed);

  private static native void emptyCall(int handle, double speed);

  private SetBench() {}

  private static volatile double sink;

  /**
   * Runs the benchmark.
   *
   * @param args "quick" for a smoke run
   */
  public static void main(String[] args) {
    boolean quick = args.length > 0 && args[0].equals("quick");
    int slices = quick ? 40 : 400;
    int calls = quick ? 2_000 : 20_000;
    HAL.initialize(500, 0);
    SimHooks.pauseTiming();
    try (CANTavrix subject = new CANTavrix(21, MotorType.kMotorKind1)) {
      long raw = rawCreate(22);
      double[] subjectNs = new double[slices];
      double[] floorNs = new double[slices];
      double[] emptyNs = new double[slices];
      for (int warm = 0; warm < 20; warm++) {
        timeSubject(subject, calls);
        timeFloor(raw, calls);
        timeEmpty(calls);
      }
      for (int s = 0; s < slices; s++) {
        subjectNs[s] = timeSubject(subject, calls);
        floorNs[s] = timeFloor(raw, calls);
        emptyNs[s] = timeEmpty(calls);
      }
      double subjectMedian = median(subjectNs);
      double floorMedian = median(floorNs);
      double emptyMedian = median(emptyNs);
      double ratio = subjectMedian / floorMedian;
      System.out.printf(
          "CANTavrix.set from Java: %.1f ns; floor, a bare JNI call of the C++ Set: %.1f ns;"
              + " ratio %.2f (target <= %.1f, %s)%n",
          subjectMedian, floorMedian, ratio, kTarget, ratio <= kTarget ? "met" : "missed");
      System.out.printf(
          "for scale: an empty JNI call of the same signature %.1f ns (set is %.2f of it)%n",
          emptyMedian, subjectMedian / emptyMedian);
    }
    SimHooks.resumeTiming();
  }

  private static double timeSubject(CANTavrix motor, int calls) {
    long start = System.nanoTime();
    for (int i = 0; i < calls; i++) {
      motor.set((i & 1) * 0.5);
    }
    return (System.nanoTime() - start) / (double) calls;
  }

  private static double timeFloor(long raw, int calls) {
    long start = System.nanoTime();
    for (int i = 0; i < calls; i++) {
      rawSet(raw, (i & 1) * 0.5);
    }
    return (System.nanoTime() - start) / (double) calls;
  }

  private static double timeEmpty(int calls) {
    long start = System.nanoTime();
    for (int i = 0; i < calls; i++) {
      emptyCall(i, (i & 1) * 0.5);
    }
    return (System.nanoTime() - start) / (double) calls;
  }

  private static double median(double[] values) {
    double[] sorted = values.clone();
    Arrays.sort(sorted);
    sink = sorted[0];
    return sorted[sorted.length / 2];
  }
}
