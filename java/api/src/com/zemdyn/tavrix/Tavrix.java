package com.zemdyn.tavrix;

import edu.wpi.first.hal.HAL;
import edu.wpi.first.wpilibj.PWM;
import edu.wpi.first.wpilibj.motorcontrol.PWMMotorController;

/**
 * The controller driven by a PWM signal instead of CAN: a WPILib {@link PWMMotorController} whose
 * only own behaviour is its constructor, which sets the pulse widths (from the C++ {@code
 * zem::Tavrix}), the 1x period, a zero output with the zero latch, the usage report and the name.
 * Its calls are WPILib's: none touches the CAN bus or waits for it; thread rules are WPILib's.
 */
public class Tavrix extends PWMMotorController {
  /**
   * Takes the PWM output.
   *
   * @param channel the robot controller's PWM output the controller is wired to
   * @throws edu.wpi.first.hal.util.AllocationException for a channel that is taken, and WPILib's
   *     exception for one that does not exist, as every WPILib PWM controller
   */
  public Tavrix(int channel) {
    super("Tavrix", channel);
    double[] boundsMs = TavrixJNI.pwmPulseBoundsMs();
    m_pwm.setBoundsMicroseconds(
        micros(boundsMs[0]),
        micros(boundsMs[1]),
        micros(boundsMs[2]),
        micros(boundsMs[3]),
        micros(boundsMs[4]));
    m_pwm.setPeriodMultiplier(PWM.PeriodMultiplier.k1X);
    m_pwm.setSpeed(0.0);
    m_pwm.setZeroLatch();
    HAL.report(TavrixJNI.pwmUsageResource(), getChannel());
  }

  private static int micros(double milliseconds) {
    return (int) Math.round(milliseconds * 1000.0);
  }
}
