// Java side of the JVM test: loads the driver library the way a robot program
// does, so that the natives of com.zemdyn.jni bind to it.
public final class DriverJniClient {
  private DriverJniClient() {}

  public static void load(String libraryPath) {
    System.load(libraryPath);
  }
}
