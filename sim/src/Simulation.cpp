// The one registry of attached controllers, the frame dispatch and the shared tick.
#include "Simulation.h"

#include <algorithm>

namespace tavrix::sim::detail {

Simulation& Simulation::Instance() {
  static Simulation* const simulation = [] {
    auto* s = new Simulation();
    port::Connect(s);
    return s;
  }();
  return *simulation;
}

bool Simulation::Attach(const std::shared_ptr<ControllerCore>& core, DeviceView* view) {
  std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
  if (IsDeviceTaken(core->DeviceNumber())) return false;
  // The clock first: a running tick may look at the newcomer as soon as it is
  // listed. Every attached controller ticks each millisecond, so a running
  // tick is never due later than a newcomer's first tick.
  const uint64_t firstTickUs = core->StartClock(port::TickOrigin(port::NowUs()));
  bool first = false;
  {
    std::lock_guard<std::mutex> lock(entriesMutex_);
    first = entries_->empty();
    auto list = std::make_shared<EntryList>(*entries_);
    list->push_back(Entry{core, view});
    entries_ = std::move(list);
  }
  if (first) port::StartTick(firstTickUs);
  return true;
}

bool Simulation::IsDeviceTaken(int device) const {
  const std::shared_ptr<const EntryList> list = Entries();
  return std::any_of(list->begin(), list->end(),
                     [device](const Entry& e) { return e.core->DeviceNumber() == device; });
}

void Simulation::Detach(const ControllerCore* core) {
  std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
  DetachLocked(core);
}

void Simulation::DetachAll() {
  std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
  const std::shared_ptr<const EntryList> list = Entries();
  for (const Entry& e : *list) DetachLocked(e.core.get());
}

bool Simulation::IsAttached(const ControllerCore* core) const {
  const std::shared_ptr<const EntryList> list = Entries();
  return std::any_of(list->begin(), list->end(),
                     [core](const Entry& e) { return e.core.get() == core; });
}

void Simulation::DetachLocked(const ControllerCore* core) {
  bool last = false;
  {
    std::lock_guard<std::mutex> lock(entriesMutex_);
    auto list = std::make_shared<EntryList>(*entries_);
    const auto found = std::find_if(list->begin(), list->end(),
                                    [core](const Entry& e) { return e.core.get() == core; });
    if (found == list->end()) return;
    list->erase(found);
    last = list->empty();
    entries_ = std::move(list);
  }
  port::ForgetDevice(core->DeviceNumber());
  if (last) port::StopTick();
  // A tick that began before the removal may still run this controller.
  if (tickThread_.load() != std::this_thread::get_id()) {
    std::lock_guard<std::mutex> waitForTick(tickMutex_);
  }
}

std::shared_ptr<const Simulation::EntryList> Simulation::Entries() const {
  std::lock_guard<std::mutex> lock(entriesMutex_);
  return entries_;
}

void Simulation::OnRobotFrame(const Frame& frame) {
  const std::shared_ptr<const EntryList> list = Entries();
  for (const Entry& e : *list) {
    Outbox out;
    e.core->OnRobotFrame(frame, &out);
    Deliver(out, port::Visibility::kNow);
  }
}

void Simulation::OnDeviceFrame(const Frame& frame) {
  const std::shared_ptr<const EntryList> list = Entries();
  for (const Entry& e : *list) e.core->OnDeviceFrame(frame);
}

uint64_t Simulation::OnTick(uint64_t nowUs) {
  std::lock_guard<std::mutex> running(tickMutex_);
  tickThread_.store(std::this_thread::get_id());
  uint64_t nextUs = 0;
  const std::shared_ptr<const EntryList> list = Entries();
  for (const Entry& e : *list) {
    ControllerCore& core = *e.core;
    if (core.NextTickUs() <= nowUs) {
      if (const std::optional<double> volts = e.view->TakeBusVoltageSet()) {
        core.SetBusVoltage(*volts);
      }
      Outbox out;
      core.Advance(nowUs, &out);
      Deliver(out, port::Visibility::kAfterThisInstant);
      if (e.view->IsShown()) Show(core, *e.view);
    }
    const uint64_t due = core.NextTickUs();
    nextUs = nextUs == 0 ? due : std::min(nextUs, due);
  }
  tickThread_.store(std::thread::id());
  return nextUs;
}

void Simulation::Deliver(const Outbox& out, port::Visibility visibility) {
  for (const OutFrame& f : out) port::Publish(f, visibility);
}

void Simulation::Show(ControllerCore& core, DeviceView& view) {
  const SimState s = core.State();
  DeviceValues v;
  v.appliedOutput = s.appliedOutput;
  v.motorVoltage = s.motorVoltage;
  v.velocity = s.velocity;
  v.position = s.position;
  v.outputCurrent = s.outputCurrent;
  v.temperature = s.temperatureC;
  v.busVoltage = s.busVoltage;
  view.Publish(v);
}

}  // namespace tavrix::sim::detail
