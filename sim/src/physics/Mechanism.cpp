// Motor presets, the mechanisms' factories and their stepping.
#include <cmath>
#include <utility>

#include "CatchUp.h"
#include "MechanismImpl.h"

namespace tavrix::sim {
namespace {

constexpr double kGravity = 9.80665;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kRadPerSecPerRpm = kTwoPi / 60.0;

bool Positive(double v) { return std::isfinite(v) && v > 0.0; }
bool NonNegative(double v) { return std::isfinite(v) && v >= 0.0; }
// Limits may be infinite, never NaN, and must leave a range.
bool ValidRange(double low, double high) {
  return !std::isnan(low) && !std::isnan(high) && low <= high;
}

// Every mechanism's parameters begin alike: a gear ratio and the friction of
// its output shaft.
template <typename Params>
bool ValidGearing(const Params& p) {
  return std::isfinite(p.gearRatio) && p.gearRatio != 0.0 && NonNegative(p.viscousNmPerRadPerS) &&
         NonNegative(p.coulombNm);
}

template <typename Params>
detail::ShaftModel GearedShaft(const Params& p, double inertiaKgM2) {
  detail::ShaftModel m;
  m.gearRatio = p.gearRatio;
  m.inertiaKgM2 = inertiaKgM2;
  m.viscousNmPerRadPerS = p.viscousNmPerRadPerS;
  m.coulombNm = p.coulombNm;
  return m;
}

std::shared_ptr<Mechanism> Make(const detail::ShaftModel& model) {
  auto impl = std::make_shared<Mechanism::Impl>(model);
  impl->state = detail::WithinStops(model, impl->state);
  return std::make_shared<Mechanism>(std::move(impl));
}

}  // namespace

// ---------------------------------------------------------------------------
// Motors
// ---------------------------------------------------------------------------

DcMotor DcMotor::Brushless() { return DcMotor(); }

DcMotor DcMotor::Brushed() {
  DcMotor m;
  m.stallTorqueNm = 2.42;
  m.stallCurrentA = 133.0;
  m.freeSpeedRpm = 5310.0;
  m.freeCurrentA = 2.7;
  m.rotorInertiaKgM2 = 7.5e-5;
  return m;
}

double DcMotor::ResistanceOhm() const { return nominalVolts / stallCurrentA; }
double DcMotor::TorquePerAmpNm() const { return stallTorqueNm / stallCurrentA; }
double DcMotor::RadPerSecPerVolt() const {
  return freeSpeedRpm * kRadPerSecPerRpm / (nominalVolts - freeCurrentA * ResistanceOhm());
}
double DcMotor::FrictionTorqueNm() const { return TorquePerAmpNm() * freeCurrentA; }

bool DcMotor::IsValid() const {
  return Positive(nominalVolts) && Positive(stallTorqueNm) && Positive(stallCurrentA) &&
         Positive(freeSpeedRpm) && NonNegative(freeCurrentA) && freeCurrentA < stallCurrentA &&
         NonNegative(rotorInertiaKgM2);
}

// ---------------------------------------------------------------------------
// Factories
// ---------------------------------------------------------------------------

std::shared_ptr<Mechanism> Mechanism::Flywheel(const FlywheelParams& p) {
  if (!ValidGearing(p) || !Positive(p.momentOfInertiaKgM2)) return nullptr;
  return Make(GearedShaft(p, p.momentOfInertiaKgM2));
}

std::shared_ptr<Mechanism> Mechanism::Arm(const ArmParams& p) {
  if (!ValidGearing(p) || !Positive(p.massKg) || !Positive(p.lengthM) ||
      !ValidRange(p.minAngleRad, p.maxAngleRad)) {
    return nullptr;
  }
  // A uniform rod about its end.
  detail::ShaftModel m = GearedShaft(p, p.massKg * p.lengthM * p.lengthM / 3.0);
  m.gravityNm = p.massKg * kGravity * p.lengthM / 2.0;
  m.gravityFollowsCosine = true;
  m.minRad = p.minAngleRad;
  m.maxRad = p.maxAngleRad;
  return Make(m);
}

std::shared_ptr<Mechanism> Mechanism::Elevator(const ElevatorParams& p) {
  if (!ValidGearing(p) || !Positive(p.carriageMassKg) || !Positive(p.drumRadiusM) ||
      !ValidRange(p.minHeightM, p.maxHeightM)) {
    return nullptr;
  }
  detail::ShaftModel m = GearedShaft(p, p.carriageMassKg * p.drumRadiusM * p.drumRadiusM);
  m.gravityNm = p.carriageMassKg * kGravity * p.drumRadiusM;
  m.minRad = p.minHeightM / p.drumRadiusM;
  m.maxRad = p.maxHeightM / p.drumRadiusM;
  m.unitsPerRad = p.drumRadiusM;
  return Make(m);
}

Mechanism::Mechanism(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}

MechanismState Mechanism::GetState() const {
  detail::CatchUpSimulation();
  std::lock_guard<std::mutex> lock(impl_->mutex);
  const double u = impl_->model.unitsPerRad;
  return MechanismState{impl_->state.angleRad * u, impl_->state.speedRadPerS * u};
}

bool Mechanism::SetState(const MechanismState& s) {
  detail::CatchUpSimulation();
  return impl_->SetState(s);
}

bool Mechanism::Impl::SetState(const MechanismState& s) {
  if (!std::isfinite(s.position) || !std::isfinite(s.velocity)) return false;
  std::lock_guard<std::mutex> lock(mutex);
  const double u = model.unitsPerRad;
  state = detail::WithinStops(model, {s.position / u, s.velocity / u});
  return true;
}

double Mechanism::GetGearRatio() const { return impl_->model.gearRatio; }

double Mechanism::MotorRotationsPerUnit() const {
  return impl_->model.gearRatio / (kTwoPi * impl_->model.unitsPerRad);
}

void Mechanism::SetPhysicsHook(PhysicsHook hook) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->hook = std::move(hook);
}

// ---------------------------------------------------------------------------
// Stepping
// ---------------------------------------------------------------------------

int Mechanism::Impl::AddMotor() {
  std::lock_guard<std::mutex> lock(mutex);
  for (size_t i = 0; i < inputs.size(); ++i) {
    if (!inputs[i].present) {
      inputs[i].present = true;
      return static_cast<int>(i);
    }
  }
  detail::MotorInput input;
  input.present = true;
  input.open = true;
  inputs.push_back(input);
  results.emplace_back();
  return static_cast<int>(inputs.size() - 1);
}

void Mechanism::Impl::RemoveMotor(int slot) {
  std::lock_guard<std::mutex> lock(mutex);
  if (slot < 0 || static_cast<size_t>(slot) >= inputs.size()) return;
  inputs[static_cast<size_t>(slot)] = detail::MotorInput();
  results[static_cast<size_t>(slot)] = detail::MotorResult();
}

Mechanism::Impl::MotorReport Mechanism::Impl::Drive(int slot, const detail::MotorInput& input,
                                                    uint64_t nowUs) {
  std::lock_guard<std::mutex> lock(mutex);
  if (slot < 0 || static_cast<size_t>(slot) >= inputs.size()) return MotorReport();
  const size_t i = static_cast<size_t>(slot);
  inputs[i] = input;
  inputs[i].present = true;
  if (!started) {
    started = true;
    timeUs = nowUs >= kStepUs ? nowUs - kStepUs : 0;
  }
  uint64_t steps = 0;
  while (timeUs + kStepUs <= nowUs && steps < kMaxCatchUpSteps) {
    Step(static_cast<double>(kStepUs) * 1.0e-6);
    timeUs += kStepUs;
    ++steps;
  }
  if (timeUs + kStepUs <= nowUs) timeUs = nowUs;
  return ReportOf(i);
}

void Mechanism::Impl::Step(double dtS) {
  const detail::MotorTorque torque = MotorTorqueAt(model.gearRatio, inputs.data(), inputs.size(),
                                                   state.speedRadPerS, results.data());
  PhysicsStep step;
  step.dtS = dtS;
  step.start =
      MechanismState{state.angleRad * model.unitsPerRad, state.speedRadPerS * model.unitsPerRad};
  step.motorTorqueNm = torque.fixedNm - torque.dampingNmPerRadPerS * state.speedRadPerS;
  if (hook) hook(step);
  if (step.stateGiven && std::isfinite(step.end.position) && std::isfinite(step.end.velocity)) {
    state = detail::WithinStops(
        model, {step.end.position / model.unitsPerRad, step.end.velocity / model.unitsPerRad});
  } else {
    state = detail::StepShaft(model, torque, step.loadTorqueNm, dtS, state);
  }
  MotorResults(model.gearRatio, inputs.data(), inputs.size(), state.speedRadPerS, results.data());
}

Mechanism::Impl::MotorReport Mechanism::Impl::ReportOf(size_t slot) const {
  MotorReport r;
  r.result = results[slot];
  r.motorRpm = state.speedRadPerS * model.gearRatio / kRadPerSecPerRpm;
  r.motorRotations = state.angleRad * model.gearRatio / kTwoPi;
  return r;
}

}  // namespace tavrix::sim
