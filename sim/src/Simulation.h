// The simulated controllers of the process, in one registry: the bus hands
// every frame to them here, and one tick runs them all, in the order they were
// attached (they share the battery, so a fixed order keeps stepped runs
// reproducible).
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "ControllerCore.h"
#include "port/SimPort.h"

namespace tavrix::sim::detail {

class Simulation final : public PortClient {
 public:
  // Connects the port first (on WPILib: initialises the HAL). Never destroyed:
  // frames may still arrive while the process exits.
  static Simulation& Instance();

  // False when this controller or another with its device number is attached
  // already. The view must stay alive until Detach returns.
  bool Attach(const std::shared_ptr<ControllerCore>& core, DeviceView* view);
  // Returns once no tick runs this controller (from inside the tick: at once).
  void Detach(const ControllerCore* core);
  bool IsAttached(const ControllerCore* core) const;
  // Detaches every controller.
  void DetachAll();

  void OnRobotFrame(const Frame& frame) override;
  void OnDeviceFrame(const Frame& frame) override;
  uint64_t OnTick(uint64_t nowUs) override;

 private:
  struct Entry {
    std::shared_ptr<ControllerCore> core;
    DeviceView* view;
  };

  Simulation() = default;
  using EntryList = std::vector<Entry>;
  // The list as it stands: readers hold it without a lock and without
  // copying it (a frame or a tick allocates nothing); attach and detach put a
  // new list in its place.
  std::shared_ptr<const EntryList> Entries() const;
  // Attaching and detaching happen under lifecycleMutex_ only, so this stays true until it unlocks.
  bool IsDeviceTaken(int device) const;
  void DetachLocked(const ControllerCore* core);
  static void Deliver(const Outbox& out, port::Visibility visibility);
  static void Show(ControllerCore& core, DeviceView& view);

  std::mutex lifecycleMutex_;  // serialises attaching and detaching (and the tick's start and stop)
  mutable std::mutex entriesMutex_;
  std::shared_ptr<const EntryList> entries_ = std::make_shared<const EntryList>();
  std::mutex tickMutex_;  // held while a tick runs, so that Detach can wait for it
  std::atomic<std::thread::id> tickThread_{};
};

}  // namespace tavrix::sim::detail
