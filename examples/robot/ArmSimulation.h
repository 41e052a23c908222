// The arm in simulation: the simulated controller on the arm's device number
// plays the controller on the CAN bus, and WPILib's arm model moves the arm.
// Each robot loop (SimulationPeriodic) the model takes the voltage the
// controller applies to its motor, steps, and gives the motor shaft's position
// and speed back to the controller, whose encoder then reads them.
#pragma once

#include <frc/simulation/SingleJointedArmSim.h>
#include <tavrix/sim/SimController.h>
#include <units/angle.h>
#include <units/time.h>

class ArmSimulation {
 public:
  // Motor rotations per arm rotation.
  static constexpr double kGearing = 300.0;
  // Where the arm starts: hanging straight down, where it rests.
  static constexpr units::radian_t kStartAngle{-1.5707963267948966};

  // Construct before the arm's zem::CANTavrix, so that the controller answers
  // that object's first requests. Initialises the HAL (the simulation's
  // callbacks need it).
  explicit ArmSimulation(int deviceNumber);

  // One step of the model, over dt (the robot's loop period).
  void Update(units::second_t dt);

  units::radian_t GetArmAngle() const { return m_arm.GetAngle(); }
  const tavrix::sim::SimController& Controller() const { return m_controller; }

 private:
  tavrix::sim::SimController m_controller;
  frc::sim::SingleJointedArmSim m_arm;
};
