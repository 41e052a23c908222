// The public calls of the physics (mechanism and battery state) see the
// simulated controllers' ticks due by now, where the tick runs only when
// something is due (see Simulation::CatchUp). Defined by the simulation; does
// nothing before it exists or from inside a tick.
#pragma once

namespace tavrix::sim::detail {

void CatchUpSimulation();

}  // namespace tavrix::sim::detail
