// Lifecycle and identity of the low-level device: construction (firmware
// check, motor type, registration with the driver), the process-wide start-up
// thread, and the firmware, serial-number and motor-type queries.
#include "tavrix/CANTavrixLowLevel.h"

#include <string>

#include <hal/HAL.h>

#include "ReplyWait.h"
#include "tavrix/TavrixDriver.h"

namespace zem {

namespace {

// Usage-reporting resource number of this controller kind.
constexpr int32_t kUsageResource = 83;
// The firmware reply is awaited for ten 10 ms reads' worth.
constexpr int32_t kFirmwareReplyTimeoutMs = 10 * 10;
constexpr const char* kSupportAddress = "https://www.tavrix.example/support";

}  // namespace

CANTavrixLowLevel::CANTavrixLowLevel(int deviceNumber, MotorType type)
    : MotorControllerBase(deviceNumber),
      canDevice(deviceNumber, wire::kManufacturer, wire::kDeviceType),
      canTimeoutMs(wire::kDefaultCanTimeoutMs),
      inverted(false),
      deviceId(deviceNumber),
      status0PeriodMs(wire::kDefaultStatus0PeriodMs),
      status1PeriodMs(wire::kDefaultStatus1PeriodMs),
      status2PeriodMs(wire::kDefaultStatus2PeriodMs) {
  GetThreadOwner();
  bool isDebugBuild = false;
  const uint32_t version = GetFirmwareVersion(isDebugBuild);
  ReportFirmwareProblem(version);
  SetMotorType(type);
  ZEM_CANTavrixRegisterDevice(deviceId);
  ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(deviceId, wire::kDefaultCtrlFramePeriodMs);
  HAL_Report(kUsageResource, deviceId, 0, nullptr);
}

CANTavrixLowLevel::~CANTavrixLowLevel() = default;

CANTavrixLowLevel::Daemon::~Daemon() = default;

void CANTavrixLowLevel::Daemon::Main() {
  ZEM_CANTavrixHeartbeatInit();
  ZEM_CANTavrixRunHeartbeat();
  ZEM_CANTavrixSetDriverInit();
  ZEM_CANTavrixRunSetDriver();
}

wpi::SafeThreadOwner<CANTavrixLowLevel::Daemon>& CANTavrixLowLevel::GetThreadOwner() {
  // A function-local static: exactly one caller constructs and starts it,
  // concurrent first callers wait; the owner joins the finished thread at exit.
  // The HAL is initialised first, so that its state outlives the owner.
  struct StartedOwner {
    bool halInitialized = HAL_Initialize(500, 0) != 0;
    wpi::SafeThreadOwner<Daemon> owner;
    StartedOwner() { owner.Start(); }
  };
  static StartedOwner started;
  return started.owner;
}

void CANTavrixLowLevel::ReportFirmwareProblem(uint32_t version) {
  if (version == 0) {
    ReportFirmwareMissing();
  } else if (version < wire::kMinimumFirmware) {
    ReportFirmwareTooOld();
  }
}

void CANTavrixLowLevel::ReportFirmwareMissing() {
  adapter::ReportError(
      "Unable to retrieve TAVRIX firmware version for CAN ID: " + std::to_string(deviceId) +
      ". Please verify the deviceID field matches the configured CAN ID of the "
      "controller, and that the controller is connected to the CAN Bus.");
}

void CANTavrixLowLevel::ReportFirmwareTooOld() {
  adapter::ReportError("The firmware on TAVRIX with CAN ID: " + std::to_string(deviceId) +
                       " is too old and needs to be updated. Refer to " + kSupportAddress +
                       " for details.");
}

int CANTavrixLowLevel::GetDeviceId() const { return deviceId; }

uint32_t CANTavrixLowLevel::GetFirmwareVersion(bool& isDebugBuild) {
  const uint8_t request[1] = {0};
  frc::CANData reply{};
  if (!detail::RequestReply(canDevice, wire::api::kFirmwareVersion, request, 0,
                            kFirmwareReplyTimeoutMs, &reply)) {
    return 0;
  }

  // A reply shorter than five bytes reads its missing bytes as zeros.
  const wire::Firmware firmware = wire::DecodeFirmware(reply.data, reply.length);
  isDebugBuild = firmware.debugBuild;

  firmwareString = "v" + std::to_string(firmware.Major()) + "." + std::to_string(firmware.Minor()) +
                   "." + std::to_string(firmware.Build());
  if (firmware.debugBuild) firmwareString += " Debug Build";
  return firmware.version;
}

uint32_t CANTavrixLowLevel::GetFirmwareVersion() {
  bool isDebugBuild = false;
  return GetFirmwareVersion(isDebugBuild);
}

std::string CANTavrixLowLevel::GetFirmwareString() { return firmwareString; }

std::vector<uint8_t> CANTavrixLowLevel::GetSerialNumber() { return {}; }

CANTavrixLowLevel::MotorType CANTavrixLowLevel::GetMotorType() {
  uint32_t word = 0;
  if (GetParameterCore(ConfigParameter::kMotorType, ParameterType::kUint32, word) !=
      ParameterStatus::kOK) {
    return MotorType::kMotorKind1;
  }
  // The fixed underlying type makes every word a valid MotorType value.
  return static_cast<MotorType>(static_cast<int32_t>(word));
}

CANError CANTavrixLowLevel::SetMotorType(MotorType type) {
  SetParameterCore(ConfigParameter::kMotorType, ParameterType::kUint32,
                   static_cast<uint32_t>(static_cast<int32_t>(type)));
  return CANError::kSuccess;
}

}  // namespace zem
