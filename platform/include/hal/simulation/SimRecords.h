// What the simulated platform recorded, for tests, the demo and users:
// the bus trace, the robot side's CAN reads, usage reports, driver-station
// messages and PWM channel state (the stand-in's simulation API, C++ only).
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

namespace halsim {

struct CanFrameRecord {
  uint64_t timestampUs = 0;  // simulated time
  uint32_t messageID = 0;    // arbitration id as sent (flags included)
  uint8_t dataSize = 0;
  uint8_t data[8] = {};
  int32_t periodMs = 0;   // as passed to the send; 0 for deliveries
  bool fromRobot = true;  // false for frames delivered by a device
};

// The whole bus trace, in the order frames were put on the bus.
std::vector<CanFrameRecord> GetCanTrace();
// Frames of the trace sent by the robot side with this arbitration id.
std::vector<CanFrameRecord> GetCanTraceForId(uint32_t messageID);
void ClearCanTrace();
// Recording is on at start; a long real-time run may switch it off.
void SetCanTraceEnabled(bool enabled);
uint64_t GetCanTraceSize();

enum class CanReadKind { kNew, kLatest, kTimeout, kPeriodic, kReceiveMessage };
struct CanReadRecord {
  CanReadKind kind = CanReadKind::kNew;
  uint32_t messageID = 0;  // full arbitration id read
  int32_t timeoutMs = 0;
  int32_t periodMs = 0;
  bool found = false;
};
// Every robot-side read of a CAN frame, with the arguments it was given.
std::vector<CanReadRecord> GetCanReads();
void ClearCanReads();
// Called on the reading thread at the start of every robot-side read, before it
// looks for a frame (found is false then), so that a test can deliver a reply
// during a chosen read. An empty function removes the hook.
using CanReadHook = std::function<void(const CanReadRecord&)>;
void SetCanReadHook(CanReadHook hook);

struct UsageReport {
  int32_t resource = 0;
  int32_t instanceNumber = 0;
  int32_t context = 0;
  std::string feature;  // empty for a null feature text
  bool hasFeature = false;
};
std::vector<UsageReport> GetUsageReports();
void ClearUsageReports();

// Texts passed to frc::DriverStation::ReportError, in order.
std::vector<std::string> GetDriverStationErrors();
void ClearDriverStationErrors();

// What a PWM channel was last set to.
struct PwmState {
  bool initialized = false;
  double boundsMax = 0, deadbandMax = 0, center = 0, deadbandMin = 0, boundsMin = 0;
  int periodMultiplier = 0;
  double speed = 0;
  bool zeroLatched = false;
  bool disabled = false;
  std::string name;                // "Type[channel]" from SendableBase::SetName
  std::vector<std::string> calls;  // the calls made on the channel, in order
};
PwmState GetPwmState(int channel);
void ClearPwmState();

// Clears every record above (not the clock, the bus content or the callbacks).
void ResetRecords();

}  // namespace halsim
