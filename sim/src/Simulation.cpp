// The one registry of attached controllers, the frame dispatch and the shared tick.
#include "Simulation.h"

#include "CatchUp.h"

#include <algorithm>
#include <cstdint>

namespace tavrix::sim::detail {

namespace {
std::atomic<Simulation*> theSimulation{nullptr};
}  // namespace

Simulation& Simulation::Instance() {
  static Simulation* const simulation = [] {
    auto* s = new Simulation();
    port::Connect(s);
    theSimulation.store(s);
    return s;
  }();
  return *simulation;
}

void CatchUpSimulation() {
  if (Simulation* s = theSimulation.load()) s->CatchUp();
}

bool Simulation::Attach(const std::shared_ptr<ControllerCore>& core, DeviceView* view) {
  CatchUp();  // the others up to now, before the newcomer counts from now
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
  if (first) {
    port::StartTick(firstTickUs);
  } else if (port::TicksOnlyWhenDue()) {
    port::WakeTickBy(firstTickUs);
  }
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
  if (port::TicksOnlyWhenDue()) port::WakeTickBy(NextWakeUs(*list));
}

void Simulation::CatchUp() {
  if (!port::TicksOnlyWhenDue() || tickThread_.load() == std::this_thread::get_id()) return;
  std::lock_guard<std::mutex> running(tickMutex_);
  tickThread_.store(std::this_thread::get_id());
  RunTicksTo(port::NowUs(), *Entries());
  tickThread_.store(std::thread::id());
}

void Simulation::Rearm() {
  if (port::TicksOnlyWhenDue()) port::WakeTickBy(NextWakeUs(*Entries()));
}

void Simulation::OnDeviceFrame(const Frame& frame) {
  const std::shared_ptr<const EntryList> list = Entries();
  for (const Entry& e : *list) e.core->OnDeviceFrame(frame);
}

uint64_t Simulation::OnTick(uint64_t nowUs) {
  std::lock_guard<std::mutex> running(tickMutex_);
  tickThread_.store(std::this_thread::get_id());
  const std::shared_ptr<const EntryList> list = Entries();
  RunTicksTo(nowUs, *list);
  tickThread_.store(std::thread::id());
  return NextWakeUs(*list);
}

// All controllers in step: each millisecond's tick runs for every controller
// due then before the next millisecond's.
void Simulation::RunTicksTo(uint64_t nowUs, const EntryList& list) {
  bool ran = false;
  for (;;) {
    uint64_t tickUs = UINT64_MAX;
    for (const Entry& e : list) tickUs = std::min(tickUs, e.core->NextTickUs());
    if (tickUs > nowUs) break;
    for (const Entry& e : list) {
      ControllerCore& core = *e.core;
      if (core.NextTickUs() > tickUs) continue;
      if (const std::optional<double> volts = e.view->TakeBusVoltageSet()) {
        core.SetBusVoltage(*volts);
      }
      Outbox out;
      core.Advance(tickUs, &out);
      Deliver(out, port::Visibility::kAfterThisInstant);
    }
    ran = true;
  }
  if (!ran) return;
  for (const Entry& e : list) {
    if (e.view->IsShown()) Show(*e.core, *e.view);
  }
}

// 0 for never (no controller).
uint64_t Simulation::NextWakeUs(const EntryList& list) {
  uint64_t nextUs = 0;
  for (const Entry& e : list) {
    const uint64_t due = port::TicksOnlyWhenDue() ? e.core->NextEventUs() : e.core->NextTickUs();
    nextUs = nextUs == 0 ? due : std::min(nextUs, due);
  }
  return nextUs;
}

void Simulation::Deliver(const Outbox& out, port::Visibility visibility) {
  for (const OutFrame& f : out) {
    if (f.dueUs != 0) {
      port::PublishWhenDue(f);
    } else {
      port::Publish(f, visibility);
    }
  }
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
