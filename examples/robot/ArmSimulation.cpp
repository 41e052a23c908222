// The arm in simulation (see ArmSimulation.h).
#include "ArmSimulation.h"

#include <numbers>

#include <frc/system/plant/DCMotor.h>
#include <units/angular_velocity.h>
#include <units/length.h>
#include <units/mass.h>
#include <units/moment_of_inertia.h>

namespace {

// The controller's brushless motor, by the figures its own model uses.
frc::DCMotor ArmMotor() {
  const tavrix::sim::DcMotor m = tavrix::sim::DcMotor::Brushless();
  return frc::DCMotor(units::volt_t(m.nominalVolts), units::newton_meter_t(m.stallTorqueNm),
                      units::ampere_t(m.stallCurrentA), units::ampere_t(m.freeCurrentA),
                      units::revolutions_per_minute_t(m.freeSpeedRpm));
}

constexpr units::kilogram_t kArmMass{2.0};
constexpr units::meter_t kArmLength{0.5};

}  // namespace

ArmSimulation::ArmSimulation(int deviceNumber)
    : m_controller(deviceNumber),
      m_arm(ArmMotor(), kGearing, frc::sim::SingleJointedArmSim::EstimateMOI(kArmLength, kArmMass),
            kArmLength, kStartAngle, units::radian_t(std::numbers::pi / 2), true, kStartAngle) {}

void ArmSimulation::Update(units::second_t dt) {
  m_arm.SetInputVoltage(units::volt_t(m_controller.GetMotorVoltage()));
  m_arm.Update(dt);
  // The motor turns kGearing times the arm; its encoder counts from the start.
  constexpr double kTurn = 2 * std::numbers::pi;
  const double rotations = (m_arm.GetAngle() - kStartAngle).value() * kGearing / kTurn;
  const double rpm = m_arm.GetVelocity().value() * kGearing * 60.0 / kTurn;
  m_controller.SetRotorState(rotations, rpm);
}
