// The low-level device object: one motor controller on the CAN bus, addressed
// by its device number. It checks the firmware at construction, starts the
// driver's threads once per process, reads and writes configuration
// parameters, reads the periodic status frames and hands setpoints to the
// driver. The robot-facing zem::CANTavrix derives from it.
//
// Threads: an object, with its views, must be used from one thread at a time;
// it holds no lock. Different objects may be used, and constructed, on
// different threads at once.
// Allocation: at construction (the CAN handle; on first use the start-up
// thread) and for the firmware text; the library itself allocates nothing
// in the other calls.
// Failures: result codes (CANError, ParameterStatus) or fixed fallback values;
// nothing throws. Waits: only the firmware read (about 100 ms at most), the
// parameter reads and the follower command (each up to the CAN timeout, 20 ms
// by default) wait for the bus, on the steady clock, polling with at most
// 1 ms between looks. Every other call returns without waiting.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <frc/CAN.h>
#include <wpi/SafeThread.h>

// The WPILib version's base classes and CAN handle, picked at configure time.
#include "tavrix/adapter/WPILibDevice.h"

#include "tavrix/CANError.h"
#include "tavrix/ControlType.h"
#include "tavrix/ProtocolCatalog.h"
#include "tavrix/Wire.h"

namespace zem {

class CANEncoder;
class CANPIDController;
class CANDigitalInput;

// A WPILib motor controller: on WPILib 2019 an frc::ErrorBase and an
// frc::SpeedController; on WPILib 2026 an frc::MotorController and a
// wpi::Sendable registered with the SendableRegistry as "CANTavrix[n]"
// (tavrix/adapter/WPILibDevice.h).
class CANTavrixLowLevel : public adapter::MotorControllerBase {
 public:
  enum class MotorType : int32_t { kMotorKind0 = 0, kMotorKind1 = 1 };

  // Parameter ids, as listed in tavrix/ProtocolCatalog.h; a parameter travels
  // on API id 0x300 OR its id. Per-slot parameters name_0 .. name_3 sit at
  // the slot-0 id + stride * slot.
#define TAVRIX_CONFIG_ENUMERATOR(name, id, type, simDefault) name = (id),
  enum class ConfigParameter : int32_t { TAVRIX_EACH_PARAMETER(TAVRIX_CONFIG_ENUMERATOR) };
#undef TAVRIX_CONFIG_ENUMERATOR

  // The type byte of a parameter write.
  enum class ParameterType : int32_t {
    kInt32 = wire::type::kInt32,
    kUint32 = wire::type::kUint32,
    kFloat32 = wire::type::kFloat32,
    kBool = wire::type::kBool,
  };

  enum class ParameterStatus : int32_t { kOK = 0, kTimeout = 4 };

  enum class PeriodicFrame : int32_t { kStatus0 = 0, kStatus1 = 1, kStatus2 = 2 };

  // Decoded status frames (fields in frame order; see zem::wire).
  using PeriodicStatus0 = wire::Status0;
  using PeriodicStatus1 = wire::Status1;
  using PeriodicStatus2 = wire::Status2;

  // Payload of the follower command: the leader's frame id (device number
  // included) and the configuration word (bit 18 invert, bits 24..31 leader kind).
  struct FollowConfig {
    uint32_t leaderFrameId = 0;
    uint32_t configWord = 0;
  };

  // Blocks for the firmware read: until the controller answers, about 100 ms
  // at most when it is silent (then reported to the driver station). The
  // first construction in the process also initialises the HAL and starts the
  // start-up thread, which starts the driver's threads; it does not wait for
  // them. Then writes the motor type and registers the device with the driver.
  CANTavrixLowLevel(int deviceNumber, MotorType type);
  // Sends nothing: the device stays registered and its last setpoint repeats.
  ~CANTavrixLowLevel() override;

  int GetDeviceId() const;
  // Queries the controller and waits for the answer to this request, up to
  // about 100 ms (steady clock) whatever the CAN timeout; 0 when none came,
  // with isDebugBuild and the firmware text left as they were.
  uint32_t GetFirmwareVersion(bool& isDebugBuild);
  uint32_t GetFirmwareVersion();
  // Text of the last successful firmware read; no bus traffic.
  std::string GetFirmwareString();
  // Always empty.
  std::vector<uint8_t> GetSerialNumber();
  // Reads the parameter like GetParameter (up to the CAN timeout);
  // kMotorKind1 when the controller does not answer.
  MotorType GetMotorType();
  // One write; always kSuccess.
  CANError SetMotorType(MotorType type);

  // One frame, no reply awaited: always kOK (the controller acknowledges no
  // write), which means handed to the bus, not taken.
  ParameterStatus SetParameter(ConfigParameter parameterId, int value);
  ParameterStatus SetParameter(ConfigParameter parameterId, uint32_t value);
  // Rounded to single precision; magnitudes beyond its range become infinities.
  ParameterStatus SetParameter(ConfigParameter parameterId, double value);
  ParameterStatus SetParameter(ConfigParameter parameterId, bool value);

  // Each sends one request and waits (steady clock, up to the CAN timeout; a
  // zero or negative timeout looks once) for the reply to that request; an
  // earlier request's late reply never counts. kTimeout when none came or it
  // carried no whole value word; the out-argument is then left unchanged.
  ParameterStatus GetParameter(ConfigParameter parameterId, double& value);
  ParameterStatus GetParameter(ConfigParameter parameterId, int& value);
  ParameterStatus GetParameter(ConfigParameter parameterId, uint32_t& value);
  ParameterStatus GetParameter(ConfigParameter parameterId, bool& value);

  // The type the library writes for this parameter.
  ParameterType GetParameterType(ConfigParameter parameterId);

  // One frame, no reply awaited; always kSuccess.
  CANError RestoreFactoryDefaults(bool flag);

  // One frame, no reply awaited. kFailed, nothing stored or sent, for a
  // frame other than kStatus0..kStatus2. Only the low 16 bits of the period
  // travel; the full value sets the host's read timeouts.
  CANError SetPeriodicFramePeriod(PeriodicFrame frame, int periodMs);

  // Larger than any age, so that `age > limit` counts it as stale.
  static constexpr int64_t kNoStatusFrame = INT64_MAX;
  // How old, in milliseconds of the FPGA clock, the newest status frame of
  // this kind was at the last status read of that kind that got one: the
  // getters refresh it (status 0: applied output, faults, follower state,
  // limit switches; 1: velocity, temperature, bus voltage, current; 2:
  // position, integral accumulator). A read that finds no frame leaves it, so
  // the age grows while the controller is quiet and tells a silent controller
  // from a zero reading. kNoStatusFrame when no read of that kind ever got a
  // frame, and for a frame value outside 0..2. Reads the clock only: no bus
  // traffic, no wait, no allocation. Ages wrap after 24 days (the platform
  // stamps frames with 32 bits of milliseconds).
  int64_t GetStatusFrameAgeMs(PeriodicFrame frame) const;

  // Stored in the driver's table under its short lock; no bus traffic.
  void SetControlFramePeriodMs(int periodMs);
  // One frame each, no reply awaited; always kSuccess.
  CANError SetEncPosition(double position);
  CANError SetIAccum(double value);

 protected:
  ParameterStatus SetParameterCore(ConfigParameter parameterId, ParameterType type, uint32_t value);
  ParameterStatus GetParameterCore(ConfigParameter parameterId, ParameterType type,
                                   uint32_t& value);

  // Newest frame of each kind, decoded with the current inversion sign; no
  // wait, no bus traffic. A frame older than the CAN timeout plus two of its
  // periods counts as missing; a missing frame, or missing bytes of a short
  // one, decode as zeros.
  PeriodicStatus0 GetPeriodicStatus0();
  PeriodicStatus1 GetPeriodicStatus1();
  PeriodicStatus2 GetPeriodicStatus2();

  // Infinity and NaN become +0.0; everything else is returned unchanged.
  float GetSafeFloat(float value);

  // Hands a setpoint to the driver, which repeats it at the control-frame
  // period; no bus traffic on the caller's thread, never blocks beyond the
  // driver's table lock. kFailed, nothing stored (the previous setpoint keeps
  // going out), for a control type outside 0..6 and, for control types 1..6,
  // for a value that is NaN, infinite or beyond the float range or an
  // auxiliary value that is NaN or infinite. For control type 0 such a value
  // goes out as 0.0 (the motor stops). A finite auxiliary value saturates at
  // +-32767/1024; for type 0 a NaN one gives 0 and an infinite one saturates.
  CANError SetpointCommand(double value, ControlType controlType, int pidSlot, double auxValue);

  // Sends the follower command and compares the controller's echo of it,
  // awaited like a parameter reply (up to the CAN timeout); kNoReply when
  // none came, kFailed when it was shorter than 8 bytes or differed.
  CANError SetFollow(FollowConfig config);

  adapter::CanPort canDevice;
  int32_t canTimeoutMs;
  bool inverted;
  std::map<ConfigParameter, uint32_t> parameterMap;  // kept per device; nothing fills it
  std::string firmwareString;
  int32_t deviceId;
  int32_t status0PeriodMs;
  int32_t status1PeriodMs;
  int32_t status2PeriodMs;

 private:
  // Views reach the protected commands of the device they belong to.
  friend class CANEncoder;
  friend class CANPIDController;
  friend class CANDigitalInput;

  // The start-up thread: starts the driver's heartbeat and setpoint threads
  // once per process, then ends.
  class Daemon : public wpi::SafeThread {
   public:
    ~Daemon() override;

   private:
    void Main() override;
  };

  // Starts the start-up thread on its first call in the process.
  static wpi::SafeThreadOwner<Daemon>& GetThreadOwner();

  void ReportFirmwareProblem(uint32_t version);
  void ReportFirmwareMissing();
  void ReportFirmwareTooOld();
  int32_t ReplyTimeoutMs() const;
  int32_t StatusTimeoutMs(int32_t periodMs) const;
  frc::CANData ReadStatusFrame(PeriodicFrame kind, int32_t apiId, int32_t periodMs);
  double InversionSign() const;
  void WriteValueFrame(int32_t apiId, uint32_t word, uint8_t typeCode);

  // Receive stamp of the newest frame a status read got, per kind: the
  // host's own record beside the fields above, for GetStatusFrameAgeMs.
  struct StatusStamp {
    bool received = false;
    uint64_t timestampMs = 0;  // CANData::timestamp, ms of the FPGA clock
  };
  std::array<StatusStamp, 3> statusStamps{};
};

}  // namespace zem
