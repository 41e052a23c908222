// The process-wide battery that the simulated controllers draw from.
#pragma once

namespace tavrix::sim::detail {

// The bus voltage the battery gives now (GetBatteryBusVoltage without catching up).
double BatteryBusVoltage();
// A controller's input current over its last millisecond (allocates on a
// controller's first report only).
void ReportBatteryCurrent(const void* controller, double amperes);
// A controller leaves: its current no longer counts.
void ForgetBatteryCurrent(const void* controller);

}  // namespace tavrix::sim::detail
