// Test support for the low-level device: a concrete test subclass that opens
// up the protected members, a scripted controller that answers chosen API ids
// with raw frames, and a fixture that pauses the simulated clock and steps it
// until the driver's threads have put the expected frames on the bus.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include <gtest/gtest.h>
#include <hal/simulation/SimRecords.h>

#include "tavrix/CANTavrixLowLevel.h"

namespace lowlevel_test {

using Bytes = std::vector<uint8_t>;
using Device = zem::CANTavrixLowLevel;
using Param = zem::CANTavrixLowLevel::ConfigParameter;
using PStatus = zem::CANTavrixLowLevel::ParameterStatus;
using PType = zem::CANTavrixLowLevel::ParameterType;
using MotorType = zem::CANTavrixLowLevel::MotorType;

// Implements the speed-controller operations trivially and exposes the
// protected interface the motor-controller object builds on.
class TestDevice : public zem::CANTavrixLowLevel {
 public:
  explicit TestDevice(int deviceNumber, MotorType type = MotorType::kMotorKind1)
      : CANTavrixLowLevel(deviceNumber, type) {}

  void PIDWrite(double output) override { Set(output); }
  void Set(double speed) override { lastSet = speed; }
  double Get() const override { return lastSet; }
  void SetInverted(bool isInverted) override { inverted = isInverted; }
  bool GetInverted() const override { return inverted; }
  void Disable() override {}
  void StopMotor() override {}

  using CANTavrixLowLevel::GetParameterCore;
  using CANTavrixLowLevel::GetPeriodicStatus0;
  using CANTavrixLowLevel::GetPeriodicStatus1;
  using CANTavrixLowLevel::GetPeriodicStatus2;
  using CANTavrixLowLevel::GetSafeFloat;
  using CANTavrixLowLevel::SetFollow;
  using CANTavrixLowLevel::SetParameterCore;
  using CANTavrixLowLevel::SetpointCommand;

  void SetCanTimeout(int32_t ms) { canTimeoutMs = ms; }
  int32_t StatusPeriod(int frame) const {
    return frame == 0 ? status0PeriodMs : (frame == 1 ? status1PeriodMs : status2PeriodMs);
  }
  int32_t CanTimeout() const { return canTimeoutMs; }

 private:
  double lastSet = 0.0;
};

// A frame the robot side sent, reduced to what the tests compare.
struct Sent {
  int32_t api = 0;
  Bytes bytes;
  int32_t periodMs = 0;
  uint64_t timestampUs = 0;
};

// Answers frames the robot sends to one device number. A replier gets the
// bytes that were sent on its API id and returns the reply, if any.
class ScriptedController {
 public:
  using Replier = std::function<std::optional<Bytes>(const Bytes& sent)>;

  explicit ScriptedController(int deviceNumber);
  ~ScriptedController();
  ScriptedController(const ScriptedController&) = delete;
  ScriptedController& operator=(const ScriptedController&) = delete;

  void SetReplier(int32_t apiId, Replier replier);
  // Answers every empty request on apiId with these bytes.
  void Answer(int32_t apiId, const Bytes& reply);
  void AnswerFirmware(uint32_t version, bool debugBuild);
  // Remembers parameter writes and answers parameter reads with the stored
  // word (the parameter's type byte included), as a controller would.
  void StoreParameters();

 private:
  struct State;
  static void OnFrame(void* param, uint64_t timestampUs, uint32_t messageID, const uint8_t* data,
                      uint8_t dataSize, int32_t periodMs, int32_t fromRobot);

  // A cancelled callback may still be running on a driver thread, so the
  // state it uses lives until the process ends.
  State* state;
  int32_t uid = 0;
};

// Pauses the simulated clock and clears the platform's records. Signals every
// frame on the bus so that waits end as soon as the awaited frame is there.
class LowLevelTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Steps the clock in 10 ms pieces until `done` holds; between steps it waits
  // (bounded, event-driven) for the driver's threads to come up. False when
  // `done` never held.
  bool StepUntil(const std::function<bool()>& done, int maxSteps = 100);
  // Steps until the setpoint thread has sent this device's first frame.
  bool AwaitSetpointThread(int deviceNumber);

 private:
  struct Signal;
  static void OnFrame(void* param, uint64_t timestampUs, uint32_t messageID, const uint8_t* data,
                      uint8_t dataSize, int32_t periodMs, int32_t fromRobot);
  bool WaitForFrameSignal();

  Signal* signal = nullptr;  // lives until the process ends, as the controller's state
  int32_t uid = 0;
};

Bytes ToBytes(const uint8_t* data, size_t size);

// Robot-side frames to one device number, from trace position `from` on.
std::vector<Sent> AllSentTo(int deviceNumber, size_t from = 0);
// The same without the frames of the driver's threads (the start-up sweep and
// the setpoint thread use the setpoint API ids; the heartbeat goes to device
// 0): what the device object itself sent.
std::vector<Sent> SentTo(int deviceNumber, size_t from = 0);
// All robot-side frames to a device on one API id.
std::vector<Sent> SentTo(int deviceNumber, int32_t apiId, size_t from = 0);
// Setpoint frames sent once to a device (API id 0 or one of the seven
// setpoint ids), from trace position `from` on.
std::vector<Sent> SetpointsTo(int deviceNumber, size_t from = 0);
size_t TraceSize();
// The robot-side reads of one API id of a device.
std::vector<halsim::CanReadRecord> ReadsOf(int deviceNumber, int32_t apiId);

uint64_t RegistryWord();

// The reads of one request and reply: the frame waiting before the request is
// discarded by one "new" read, then "new" reads look for the reply with pauses
// between them. Answered from inside the send, the first look finds it.
void ExpectReplyReads(const std::vector<halsim::CanReadRecord>& reads, bool answered);

// Wall time a call takes, in whole milliseconds.
int64_t WallMsOf(const std::function<void()>& call);

// Little-endian float bytes, for expected payloads.
Bytes FloatBytes(float value);

}  // namespace lowlevel_test
