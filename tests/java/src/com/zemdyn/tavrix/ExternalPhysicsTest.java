package com.zemdyn.tavrix;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.zemdyn.tavrix.CANTavrixLowLevel.MotorType;
import com.zemdyn.tavrix.sim.SimController;
import edu.wpi.first.math.system.plant.DCMotor;
import edu.wpi.first.math.system.plant.LinearSystemId;
import edu.wpi.first.math.util.Units;
import edu.wpi.first.wpilibj.simulation.DCMotorSim;
import org.junit.jupiter.api.Test;

/** A simulated controller coupled with WPILib's own DCMotorSim, the way teams couple their models. */
class ExternalPhysicsTest {
  private static final double kPeriod = 0.02;

  @Test
  void theEncoderReadsTheExternalModel() throws InterruptedException {
    Simulation.start();
    Simulation.enable(true);
    Simulation.awaitDriver();
    DCMotor motorModel =
        new DCMotor(12.0, 2.6, 105.0, 1.8, Units.rotationsPerMinuteToRadiansPerSecond(5676), 1);
    DCMotorSim physics =
        new DCMotorSim(LinearSystemId.createDCMotorSystem(motorModel, 0.002, 1.0), motorModel);
    try (SimController sim = new SimController(12);
        CANTavrix motor = new CANTavrix(12, MotorType.kMotorKind1)) {
      assertFalse(sim.setRotorState(Double.NaN, 0.0));
      motor.getEncoder().setPositionConversionFactor(0.5);
      motor.set(0.5);
      for (int i = 0; i < 50; i++) {
        Simulation.step(kPeriod);
        physics.setInputVoltage(sim.getMotorVoltage());
        physics.update(kPeriod);
        assertTrue(
            sim.setRotorState(
                physics.getAngularPositionRotations(), physics.getAngularVelocityRPM()));
      }
      Simulation.step(kPeriod);
      assertEquals(6.0, sim.getMotorVoltage(), 0.5);
      double rotations = physics.getAngularPositionRotations();
      assertTrue(rotations > 10, "the model turned: " + rotations);
      // The encoder reads the model's shaft through the conversion factor; the status frame is at
      // most a period old.
      assertEquals(0.5 * rotations, motor.getEncoder().getPosition(), 0.5 * rotations * 0.05);
      assertEquals(physics.getAngularVelocityRPM(), sim.getState().velocity, 50.0);
    } finally {
      Simulation.stop();
    }
  }
}
