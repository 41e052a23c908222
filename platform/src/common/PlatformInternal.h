// Internal interface between the stand-in's libraries: how the robot library
// (wpilibc) records into the HAL's simulation records. Not installed, not for users.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>

#include "hal/simulation/SimRecords.h"

namespace halsim {
namespace internal {

void RecordCanFrame(const CanFrameRecord& record);
// Calls the read hook (if any) on the calling thread; takes no lock while calling it.
void CallCanReadHook(const CanReadRecord& record);
void RecordCanRead(const CanReadRecord& record);
void RecordUsageReport(const UsageReport& report);
void RecordDriverStationError(const std::string& text);
// Applies change to the channel's state and appends call to its call list, atomically.
void RecordPwmCall(int channel, const std::string& call,
                   const std::function<void(PwmState&)>& change);

}  // namespace internal
}  // namespace halsim
