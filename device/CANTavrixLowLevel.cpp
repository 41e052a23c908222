// Lifecycle and identity of the low-level device: construction (firmware
// check, motor type, registration with the driver), the process-wide start-up
// thread, and the firmware, serial-number and motor-type queries.
#include "tavrix/CANTavrixLowLevel.h"

#include <array>
#include <cstdio>
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

namespace {

// "v<major>.<minor>.<build>", formatted in a fixed buffer: GCC 12's optimiser
// warns (falsely) about the string concatenations that would say the same.
std::string FirmwareText(const wire::Firmware& firmware) {
  std::array<char, 32> text{};
  std::snprintf(text.data(), text.size(), "v%u.%u.%u", static_cast<unsigned>(firmware.Major()),
                static_cast<unsigned>(firmware.Minor()), static_cast<unsigned>(firmware.Build()));
  return std::string(text.data());
}

}  // namespace

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

  firmwareString = FirmwareText(firmware);
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
