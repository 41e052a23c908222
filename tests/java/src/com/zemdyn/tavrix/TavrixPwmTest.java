package com.zemdyn.tavrix;

import static org.junit.jupiter.api.Assertions.assertEquals;

import edu.wpi.first.hal.HAL;
import edu.wpi.first.hal.PWMConfigDataResult;
import edu.wpi.first.hal.PWMJNI;
import edu.wpi.first.wpilibj.motorcontrol.PWMMotorController;
import edu.wpi.first.wpilibj.simulation.PWMSim;
import org.junit.jupiter.api.Test;

/** The PWM class through WPILib's PWMMotorController, with the C++ class's pulse bounds. */
class TavrixPwmTest {
  @Test
  void thePwmControllerHasTheControllersBoundsAndDrivesThroughWpilib() {
    HAL.initialize(500, 0);
    try (PWMMotorController pwm = new Tavrix(2)) {
      PWMConfigDataResult bounds = PWMJNI.getPWMConfigMicroseconds(pwm.getPwmHandle());
      assertEquals(
          "2003 1550 1500 1460 999",
          bounds.max
              + " "
              + bounds.deadbandMax
              + " "
              + bounds.center
              + " "
              + bounds.deadbandMin
              + " "
              + bounds.min);
      PWMSim sim = new PWMSim(2);
      pwm.set(0.5);
      assertEquals(0.5, sim.getSpeed(), 0.01);
      pwm.setInverted(true);
      pwm.set(0.5);
      assertEquals(-0.5, sim.getSpeed(), 0.01);
    }
  }
}
