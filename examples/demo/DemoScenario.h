// The demo's robot program: the scenario, its telemetry table and its report.
#pragma once

#include "DemoOptions.h"

namespace tavrix::demo {

// Runs the whole scenario and writes the trace files. Exit status: 0 when
// every step did what it should, 1 otherwise.
int RunDemo(const DemoOptions& options);

}  // namespace tavrix::demo
