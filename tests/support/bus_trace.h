// Test helpers: the simulated bus's trace read back by device number, the
// frames the robot side sent and the frames the simulated devices delivered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <hal/simulation/SimRecords.h>

#include "tavrix/Wire.h"

namespace tavrix_test {

constexpr int32_t kAnyApi = -1;

// Robot-sent frames to one device number (optionally of one API id), in bus
// order, from trace position `from` on.
inline std::vector<halsim::CanFrameRecord> RobotFrames(int32_t device, int32_t apiId = kAnyApi,
                                                       size_t from = 0) {
  const std::vector<halsim::CanFrameRecord> trace = halsim::GetCanTrace();
  std::vector<halsim::CanFrameRecord> out;
  for (size_t i = from; i < trace.size(); ++i) {
    const halsim::CanFrameRecord& f = trace[i];
    if (f.fromRobot && zem::wire::IsControllerId(f.messageID) &&
        zem::wire::DeviceOf(f.messageID) == device &&
        (apiId == kAnyApi || zem::wire::ApiOf(f.messageID) == apiId)) {
      out.push_back(f);
    }
  }
  return out;
}

// Frames that the devices delivered on one device's API id, oldest first.
inline std::vector<halsim::CanFrameRecord> DeliveredFrames(int32_t device, int32_t apiId) {
  std::vector<halsim::CanFrameRecord> out;
  const uint32_t id = zem::wire::ComposeId(device, apiId);
  for (const halsim::CanFrameRecord& r : halsim::GetCanTrace()) {
    if (!r.fromRobot && r.messageID == id) out.push_back(r);
  }
  return out;
}

}  // namespace tavrix_test
