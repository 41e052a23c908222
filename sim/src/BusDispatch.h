// Connects the simulated controllers to the simulated bus: one frame callback
// for all of them, and the delivery of what they send.
#pragma once

#include <memory>

#include "ControllerCore.h"

namespace tavrix::sim::detail {

// False when a controller with the same device number is attached already.
bool AttachToBus(const std::shared_ptr<ControllerCore>& core);
void DetachFromBus(const ControllerCore* core);
// Puts the frames on the bus, in order. Call with no controller lock held.
void Deliver(const Outbox& out);

}  // namespace tavrix::sim::detail
