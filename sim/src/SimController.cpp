// The public simulated controller: its core, attached to the process's one
// simulation (the bus, the shared tick) and shown in the platform's tools.
#include "tavrix/sim/SimController.h"

#include "ControllerCore.h"
#include "Simulation.h"
#include "port/SimPort.h"

namespace tavrix::sim {

namespace {

detail::ControllerCore::CommandTiming PlatformCommandTiming() {
  return detail::port::CommandsApplyOnReceipt()
             ? detail::ControllerCore::CommandTiming::kOnReceipt
             : detail::ControllerCore::CommandTiming::kAtNextTick;
}

}  // namespace

struct SimController::Impl {
  // The simulation (and with it the platform) first: on WPILib the HAL must be
  // initialised before the device view and before any thread is started.
  Impl(int deviceNumber, const SimOptions& options)
      : simulation(detail::Simulation::Instance()),
        core(std::make_shared<detail::ControllerCore>(deviceNumber, options,
                                                      PlatformCommandTiming())),
        view(deviceNumber) {}

  detail::Simulation& simulation;
  std::shared_ptr<detail::ControllerCore> core;
  detail::DeviceView view;
};

SimController::SimController(int deviceNumber, const SimOptions& options)
    : impl_(std::make_unique<Impl>(deviceNumber, options)) {
  Attach();
}

SimController::~SimController() { Detach(); }

bool SimController::Attach() {
  const int device = impl_->core->DeviceNumber();
  if (device < 0 || device > kMaxDeviceNumber) return false;
  return impl_->simulation.Attach(impl_->core, &impl_->view);
}

void SimController::Detach() { impl_->simulation.Detach(impl_->core.get()); }

bool SimController::IsAttached() const { return impl_->simulation.IsAttached(impl_->core.get()); }

void ResetSimulation() {
  detail::Simulation::Instance().DetachAll();
  SetBattery(BatteryModel{});
  detail::port::ResetBusAndPause();
}

bool WaitForNotifierThreads(int count, double wallSeconds) {
  detail::Simulation::Instance();  // the platform first (on WPILib: the HAL)
  return detail::port::WaitForNotifierThreads(count, wallSeconds);
}

int SimController::GetDeviceNumber() const { return impl_->core->DeviceNumber(); }

SimState SimController::GetState() const { return impl_->core->State(); }
double SimController::GetAppliedOutput() const { return GetState().appliedOutput; }
double SimController::GetVelocity() const { return GetState().velocity; }
double SimController::GetPosition() const { return GetState().position; }
double SimController::GetOutputCurrent() const { return GetState().outputCurrent; }
double SimController::GetTemperature() const { return GetState().temperatureC; }

double SimController::GetMotorVoltage() const {
  return impl_->core->MotorVoltageBefore(detail::port::NowUs());
}
bool SimController::SetRotorState(double rotations, double rpm) {
  return impl_->core->SetRotorState(rotations, rpm, detail::port::NowUs());
}
void SimController::ReleaseRotorState() { impl_->core->ReleaseRotorState(detail::port::NowUs()); }

std::optional<ParameterValue> SimController::GetParameter(int id) const {
  return impl_->core->GetParameter(id);
}
bool SimController::SetParameter(int id, ParameterValue value) {
  return impl_->core->SetParameter(id, value);
}

void SimController::SetLimitSwitch(LimitSwitch which, bool pressed) {
  impl_->core->SetLimitSwitch(which, pressed);
}
bool SimController::SetBusVoltage(double volts) { return impl_->core->SetBusVoltage(volts); }
bool SimController::SetMotorModel(const MotorModel& model) {
  return impl_->core->SetMotorModel(model);
}
void SimController::AttachMechanism(std::shared_ptr<Mechanism> mechanism) {
  impl_->core->AttachMechanism(std::move(mechanism));
}
std::shared_ptr<Mechanism> SimController::GetMechanism() const {
  return impl_->core->GetMechanism();
}
void SimController::SetFirmware(uint32_t version, bool debugBuild) {
  impl_->core->SetFirmware(version, debugBuild);
}
bool SimController::SetClosedLoopQuantity(int controlType, ClosedLoopQuantity quantity) {
  return impl_->core->SetClosedLoopQuantity(controlType, quantity);
}
void SimController::SetFaultBits(uint16_t bits) { impl_->core->SetFaultBits(bits); }
void SimController::SetBusFaults(const BusFaults& faults) { impl_->core->SetBusFaults(faults); }
void SimController::PowerCycle() { impl_->core->PowerCycle(); }

}  // namespace tavrix::sim
