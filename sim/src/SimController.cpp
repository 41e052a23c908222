// The public simulated controller: attaches its core to the bus and runs the
// core's millisecond tick on a thread of its own, paced by a HAL notifier so
// that it follows the simulated clock (and HALSIM_StepTiming waits for it).
#include "tavrix/sim/SimController.h"

#include <atomic>
#include <mutex>
#include <thread>

#include "BusDispatch.h"
#include "ControllerCore.h"
#include "hal/HALBase.h"
#include "hal/Notifier.h"

namespace tavrix::sim {

struct SimController::Impl {
  Impl(int deviceNumber, const SimOptions& options)
      : core(std::make_shared<detail::ControllerCore>(deviceNumber, options)) {}

  bool Attach();
  void Detach();
  void Run(uint64_t firstTickUs);

  std::shared_ptr<detail::ControllerCore> core;
  mutable std::mutex lifecycleMutex;  // serialises Attach and Detach
  bool attached = false;
  HAL_NotifierHandle notifier = HAL_kInvalidHandle;
  std::thread thread;
  std::atomic<bool> running{false};
};

bool SimController::Impl::Attach() {
  std::lock_guard<std::mutex> lock(lifecycleMutex);
  const int device = core->DeviceNumber();
  if (attached || device < 0 || device > kMaxDeviceNumber) return false;
  int32_t status = 0;
  notifier = HAL_InitializeNotifier(&status);
  if (notifier == HAL_kInvalidHandle) return false;
  if (!detail::AttachToBus(core)) {
    HAL_CleanNotifier(notifier, &status);
    notifier = HAL_kInvalidHandle;
    return false;
  }
  const uint64_t firstTickUs = core->StartClock(HAL_GetFPGATime(&status));
  running = true;
  thread = std::thread([this, firstTickUs] { Run(firstTickUs); });
  attached = true;
  return true;
}

void SimController::Impl::Detach() {
  std::lock_guard<std::mutex> lock(lifecycleMutex);
  if (!attached) return;
  detail::DetachFromBus(core.get());
  running = false;
  int32_t status = 0;
  HAL_StopNotifier(notifier, &status);  // wakes the thread, whose wait then returns 0
  thread.join();
  HAL_CleanNotifier(notifier, &status);
  notifier = HAL_kInvalidHandle;
  attached = false;
}

void SimController::Impl::Run(uint64_t firstTickUs) {
  int32_t status = 0;
  uint64_t nextTickUs = firstTickUs;
  while (running) {
    HAL_UpdateNotifierAlarm(notifier, nextTickUs, &status);
    if (HAL_WaitForNotifierAlarm(notifier, &status) == 0 || !running) break;
    detail::Outbox out;
    nextTickUs = core->Advance(HAL_GetFPGATime(&status), &out);
    detail::Deliver(out);
  }
}

SimController::SimController(int deviceNumber, const SimOptions& options)
    : impl_(std::make_unique<Impl>(deviceNumber, options)) {
  impl_->Attach();
}

SimController::~SimController() { impl_->Detach(); }

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
