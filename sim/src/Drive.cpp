#include "Drive.h"

#include <algorithm>
#include <cmath>

#include "physics/Battery.h"
#include "tavrix/Wire.h"
#include "tavrix/sim/ParameterIds.h"

namespace tavrix::sim::detail {
namespace {

constexpr double kTickSeconds = 1.0e-3;
constexpr double kSecondsPerMinute = 60.0;
constexpr double kTwoPi = 6.283185307179586;

std::optional<double> ValidBusVoltage(const std::optional<double>& volts) {
  return volts && std::isfinite(*volts) && *volts >= 0.0 ? volts : std::nullopt;
}

// The controller's own load when no mechanism is attached: a light flywheel
// on the motor shaft that, with the rotor, gives the brushless motor a
// spin-up time constant of about 50 ms.
std::shared_ptr<Mechanism> OwnLoad() {
  FlywheelParams p;
  p.momentOfInertiaKgM2 = 1.65e-4;
  return Mechanism::Flywheel(p);
}

// A conversion factor that is not finite counts as 0, so that a bad factor
// cannot turn the position into NaN for good.
double ConversionFactor(const ParameterStore& params, int id) {
  const double factor = params.AsDouble(id, 1.0);
  return std::isfinite(factor) ? factor : 0.0;
}

// The smart limit, which the controller regulates the current to (0: off).
double CurrentLimitA(const ParameterStore& params, double motorRpm) {
  return SmartLimitA(params.AsDouble(param::kSmartCurrentLimit, 0.0),
                     params.AsDouble(param::kSmartCurrentLimitArg2, 0.0),
                     params.AsDouble(param::kSmartCurrentLimitArg3, 0.0), motorRpm);
}

// The secondary limit is a hard one: a current above it turns the output off
// for the number of ticks its second argument gives (at least one).
bool SecondaryLimitTripped(const ParameterStore& params, double currentA) {
  const double limit = params.AsDouble(param::kSecondaryCurrentLimit, 0.0);
  return std::isfinite(limit) && limit > 0.0 && std::fabs(currentA) > limit;
}

}  // namespace

Drive::Drive(const SimOptions& options)
    : model_(options.motor.IsValid() ? options.motor : MotorModel()),
      fixedBusVoltage_(ValidBusVoltage(options.busVoltage)),
      busVoltage_(fixedBusVoltage_.value_or(BatteryBusVoltage())),
      ownLoad_(OwnLoad()) {
  run_.motor.temperatureC = model_.ambientTemperatureC;
  UseMechanism(ownLoad_);
}

Drive::~Drive() {
  mechanism_->Internals().RemoveMotor(motorSlot_);
  ForgetBatteryCurrent(this);
}

void Drive::BeginTick(uint64_t nowUs) {
  voltsBeforeLastTick_ = run_.motor.appliedVolts;
  lastTickUs_ = nowUs;
  TakePendingRotor(nowUs);
  busVoltage_ = fixedBusVoltage_.value_or(BatteryBusVoltage());
}

void Drive::TakePendingRotor(uint64_t nowUs) {
  if (!pendingRotor_ || pendingRotor_->sinceUs >= nowUs) return;
  // Given, the encoder reads the given rotations; back on the built-in model
  // it counts on from where it reads.
  const RotorInput input = pendingRotor_->input;
  pendingRotor_.reset();
  if (!rotor_.given && input.given) {
    run_.position = 0.0;
    lastMotorRotations_ = 0.0;
    encoderTracking_ = true;
  }
  if (rotor_.given && !input.given) encoderTracking_ = false;
  rotor_ = input;
}

void Drive::Step(double output, uint64_t nowUs, const ParameterStore& params) {
  const DcMotor motor = MotorOf(model_, params.AsDouble(param::kMotorType, 1.0));
  const MotorInput drive = DriveOf(motor, output, params);
  if (rotor_.given) {
    StepGivenRotor(drive, nowUs);
    TrackEncoder(rotor_.rotations, params);
  } else {
    const Mechanism::Impl::MotorReport report =
        mechanism_->Internals().Drive(motorSlot_, drive, nowUs);
    run_.motor.currentA = report.result.currentA;
    run_.motor.appliedVolts = report.result.appliedVolts;
    run_.motor.velocityRpm = report.motorRpm;
    TrackEncoder(report.motorRotations, params);
  }
  StepChopper(params);
  StepTemperature(model_, motor.ResistanceOhm(), kTickSeconds, &run_.motor);
  const double volts = run_.motor.appliedVolts;
  run_.appliedOutput = busVoltage_ > 0.0 ? volts / busVoltage_ : output;
  // What the battery delivers: the motor's power at the bus voltage.
  ReportBatteryCurrent(this, busVoltage_ > 0.0 ? volts * run_.motor.currentA / busVoltage_ : 0.0);
}

// The rotor moves as the caller's physics says: the motor's current follows
// from the applied voltage and the given speed (and the current limit), and the
// mechanism feels no torque from this motor.
void Drive::StepGivenRotor(const MotorInput& drive, uint64_t nowUs) {
  MotorInput idle = drive;
  idle.open = true;
  mechanism_->Internals().Drive(motorSlot_, idle, nowUs);
  const double speedRadPerS = rotor_.rpm * kTwoPi / kSecondsPerMinute;
  MotorResult result;
  MotorTorqueAt(1.0, &drive, 1, speedRadPerS, &result);
  MotorResults(1.0, &drive, 1, speedRadPerS, &result);
  run_.motor.currentA = result.currentA;
  run_.motor.appliedVolts = result.appliedVolts;
  run_.motor.velocityRpm = rotor_.rpm;
}

void Drive::StepChopper(const ParameterStore& params) {
  if (run_.chopTicksLeft > 0) {
    --run_.chopTicksLeft;
  } else if (SecondaryLimitTripped(params, run_.motor.currentA)) {
    const double cycles = params.AsDouble(param::kSecondaryCurrentLimitArg2, 0.0);
    run_.chopTicksLeft =
        std::isfinite(cycles) && cycles > 1.0 ? static_cast<int>(std::min(cycles, 1000.0)) : 1;
  }
}

// With zero output (or outputs off) the idle mode decides: brake keeps the
// windings shorted (0 V), coast opens them; the secondary limit opens them
// while it chops.
MotorInput Drive::DriveOf(const DcMotor& motor, double output, const ParameterStore& params) const {
  MotorInput in;
  in.present = true;
  in.motor = motor;
  in.volts = DriveVolts(output, params);
  const bool brake = params.AsDouble(param::kIdleMode, 0.0) == kIdleBrake;
  in.open = run_.chopTicksLeft > 0 || (output == 0.0 && !brake);
  in.currentLimitA = CurrentLimitA(params, run_.motor.velocityRpm);
  return in;
}

double Drive::DriveVolts(double output, const ParameterStore& params) const {
  const bool compensated =
      params.AsDouble(param::kVoltageCompensationMode, 0.0) == zem::wire::kVoltageCompensationOn;
  const double nominal = params.AsDouble(param::kVoltageCompensationNominalVoltage, 0.0);
  if (compensated && std::isfinite(nominal) && nominal > 0.0) {
    return std::clamp(output * nominal, -busVoltage_, busVoltage_);
  }
  return output * busVoltage_;
}

void Drive::TrackEncoder(double motorRotations, const ParameterStore& params) {
  if (encoderTracking_) {
    run_.position += (motorRotations - lastMotorRotations_) *
                     ConversionFactor(params, param::kPositionConversionFactor);
  }
  lastMotorRotations_ = motorRotations;
  encoderTracking_ = true;
}

double Drive::Velocity(const ParameterStore& params) const {
  return run_.motor.velocityRpm * ConversionFactor(params, param::kVelocityConversionFactor);
}

void Drive::PowerCycle() {
  // The controller's own load stops with it; a shared mechanism goes on.
  if (mechanism_ == ownLoad_) ownLoad_->Internals().SetState(MechanismState());
  const double temperature = run_.motor.temperatureC;  // the motor does not cool by a reboot
  run_ = Runtime();
  run_.motor.temperatureC = temperature;
}

void Drive::GiveRotorState(double rotations, double rpm, uint64_t nowUs) {
  pendingRotor_ = PendingRotor{nowUs, RotorInput{true, rotations, rpm}};
}

void Drive::ReleaseRotorState(uint64_t nowUs) { pendingRotor_ = PendingRotor{nowUs, RotorInput{}}; }

// A caller at the instant of a tick may run before or after it (WPILib runs
// threads due together in parallel); both see the tick before.
double Drive::MotorVoltageBefore(uint64_t nowUs) const {
  return lastTickUs_ >= nowUs ? voltsBeforeLastTick_ : run_.motor.appliedVolts;
}

void Drive::SetBusVoltage(double volts) {
  fixedBusVoltage_ = volts;
  busVoltage_ = volts;
}

bool Drive::SetMotorModel(const MotorModel& model) {
  if (!model.IsValid()) return false;
  model_ = model;
  return true;
}

void Drive::AttachMechanism(std::shared_ptr<Mechanism> mechanism) {
  UseMechanism(mechanism ? std::move(mechanism) : ownLoad_);
}

void Drive::UseMechanism(std::shared_ptr<Mechanism> mechanism) {
  if (mechanism_) mechanism_->Internals().RemoveMotor(motorSlot_);
  mechanism_ = std::move(mechanism);
  motorSlot_ = mechanism_->Internals().AddMotor();
  encoderTracking_ = false;
}

}  // namespace tavrix::sim::detail
