// The public simulated controller: attaches its core to the bus and runs the
// core's millisecond tick as a timed callback of the simulated clock, so that a
// step runs it at its exact times in a fixed order, on the stepping thread, with
// no thread of its own to wake each millisecond.
#include "tavrix/sim/SimController.h"

#include <mutex>
#include <set>

#include "BusDispatch.h"
#include "ControllerCore.h"
#include "hal/HALBase.h"
#include "hal/simulation/CanData.h"
#include "hal/simulation/MockHooks.h"
#include "hal/simulation/SimRecords.h"

namespace tavrix::sim {

struct SimController::Impl {
  Impl(int deviceNumber, const SimOptions& options)
      : core(std::make_shared<detail::ControllerCore>(deviceNumber, options)) {}

  bool Attach();
  void Detach();
  static uint64_t OnTick(void* param, uint64_t nowUs);

  std::shared_ptr<detail::ControllerCore> core;
  mutable std::mutex lifecycleMutex;  // serialises Attach and Detach
  bool attached = false;
  int32_t tick = 0;  // the timed callback's handle
};

namespace {

// Every simulated controller of the process, for ResetSimulation.
struct Registry {
  std::mutex mutex;
  std::set<SimController*> controllers;
};

Registry& Controllers() {
  static Registry* registry = new Registry;  // outlives static controllers at exit
  return *registry;
}

}  // namespace

bool SimController::Impl::Attach() {
  std::lock_guard<std::mutex> lock(lifecycleMutex);
  const int device = core->DeviceNumber();
  if (attached || device < 0 || device > kMaxDeviceNumber) return false;
  if (!detail::AttachToBus(core)) return false;
  int32_t status = 0;
  const uint64_t firstTickUs = core->StartClock(HAL_GetFPGATime(&status));
  tick = HALSIM_RegisterTimedCallback(firstTickUs, &Impl::OnTick, this);
  attached = true;
  return true;
}

void SimController::Impl::Detach() {
  std::lock_guard<std::mutex> lock(lifecycleMutex);
  if (!attached) return;
  detail::DetachFromBus(core.get());
  HALSIM_CancelTimedCallback(tick);  // returns once no tick runs
  tick = 0;
  attached = false;
}

uint64_t SimController::Impl::OnTick(void* param, uint64_t nowUs) {
  auto* impl = static_cast<Impl*>(param);
  detail::Outbox out;
  const uint64_t nextTickUs = impl->core->Advance(nowUs, &out);
  detail::Deliver(out);
  return nextTickUs;
}

SimController::SimController(int deviceNumber, const SimOptions& options)
    : impl_(std::make_unique<Impl>(deviceNumber, options)) {
  {
    std::lock_guard<std::mutex> lock(Controllers().mutex);
    Controllers().controllers.insert(this);
  }
  impl_->Attach();
}

SimController::~SimController() {
  {
    std::lock_guard<std::mutex> lock(Controllers().mutex);
    Controllers().controllers.erase(this);
  }
  impl_->Detach();
}

void ResetSimulation() {
  {
    // Held while detaching, so that no controller is destroyed meanwhile.
    std::lock_guard<std::mutex> lock(Controllers().mutex);
    for (SimController* controller : Controllers().controllers) controller->Detach();
  }
  HALSIM_ResetCanBusData();
  halsim::ResetRecords();
  SetBattery(BatteryModel{});
  HALSIM_PauseTiming();
}

bool SimController::Attach() { return impl_->Attach(); }
void SimController::Detach() { impl_->Detach(); }

bool SimController::IsAttached() const {
  std::lock_guard<std::mutex> lock(impl_->lifecycleMutex);
  return impl_->attached;
}

int SimController::GetDeviceNumber() const { return impl_->core->DeviceNumber(); }

SimState SimController::GetState() const { return impl_->core->State(); }
double SimController::GetAppliedOutput() const { return GetState().appliedOutput; }
double SimController::GetVelocity() const { return GetState().velocity; }
double SimController::GetPosition() const { return GetState().position; }
double SimController::GetOutputCurrent() const { return GetState().outputCurrent; }
double SimController::GetTemperature() const { return GetState().temperatureC; }

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
