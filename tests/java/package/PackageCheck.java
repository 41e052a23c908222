import com.zemdyn.tavrix.CANTavrix;
import com.zemdyn.tavrix.CANTavrixLowLevel.MotorType;
import com.zemdyn.tavrix.sim.SimController;
import edu.wpi.first.hal.HAL;
import edu.wpi.first.wpilibj.simulation.DriverStationSim;
import edu.wpi.first.wpilibj.simulation.SimHooks;

/**
 * A program built and run against the installed package only (tools/ci/extra-java.sh): the jar
 * and WPILib's classpath, -Djava.library.path with the two library folders, nothing else. Returns
 * from main without System.exit, so the JVM ends only if no thread is left behind. Prints "N
 * passed, N failed".
 */
public final class PackageCheck {
  private static int passed;
  private static int failed;

  private PackageCheck() {}

  private static void check(String what, boolean ok) {
    System.out.println((ok ? "PASS " : "FAIL ") + what);
    if (ok) {
      passed++;
    } else {
      failed++;
    }
  }

  /**
   * Runs the check.
   *
   * @param args unused
   */
  public static void main(String[] args) {
    check("HAL.initialize", HAL.initialize(500, 0));
    SimHooks.pauseTiming();
    try (SimController sim = new SimController(1);
        CANTavrix motor = new CANTavrix(1, MotorType.kMotorKind1)) {
      DriverStationSim.setEnabled(true);
      DriverStationSim.notifyNewData();
      motor.set(0.5);
      SimHooks.stepTiming(0.5);
      check("the simulated controller applies the output", Math.abs(sim.getAppliedOutput() - 0.5) < 1e-3);
      check("the firmware answered", motor.getFirmwareVersion() != 0);
      check("the encoder reports the motion", motor.getEncoder().getVelocity() > 100);
      DriverStationSim.setEnabled(false);
      DriverStationSim.notifyNewData();
    }
    SimHooks.resumeTiming();
    System.out.println(passed + " passed, " + failed + " failed");
    if (failed > 0) {
      Runtime.getRuntime().halt(1);
    }
  }
}
