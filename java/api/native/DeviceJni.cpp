// The native side of com.zemdyn.tavrix: each method of TavrixJNI looks its
// device up by handle and calls the C++ object (zem::CANTavrix and its views),
// so the protocol has one implementation. A handle that names no object (0
// after close(), a null argument, a stale handle) gets what the C++ call
// gives when the controller does not answer: kFailed for a CANError,
// kTimeout for a ParameterStatus, the getter's stated fallback otherwise.
// No C++ exception reaches Java (the library throws none; WPILib 2026's CAN
// throws are caught in the device library's adapter).
#include <jni.h>

// javac -h writes the declarations at build time, so the definitions below are
// checked against the Java side; a configure-only build (the linter) lacks them.
#if __has_include("com_zemdyn_tavrix_TavrixJNI.h")
#include "com_zemdyn_tavrix_TavrixJNI.h"  // IWYU pragma: keep
#endif

#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <string>

#include <units/voltage.h>

#include "HandleTable.h"
#include "tavrix/CANTavrix.h"
#include "tavrix/Tavrix.h"
#include "tavrix/Wire.h"

namespace {

using zem::CANDigitalInput;
using zem::CANError;
using zem::CANTavrix;
using zem::CANTavrixLowLevel;
using ConfigParameter = CANTavrixLowLevel::ConfigParameter;
using ParameterStatus = CANTavrixLowLevel::ParameterStatus;

// One Java CANTavrix: the C++ object and the limit-switch views Java made of
// it (a CANDigitalInput writes its polarity when made, so it is kept, not
// made again per call).
struct DeviceEntry {
  DeviceEntry(int deviceId, CANTavrixLowLevel::MotorType type) : device(deviceId, type) {}
  CANTavrix device;
  std::array<std::optional<CANDigitalInput>, 2> limits;
};

tavrix::jni::HandleTable<DeviceEntry>& Devices() {
  static tavrix::jni::HandleTable<DeviceEntry> table;
  return table;
}

CANTavrix* Device(jint handle) {
  DeviceEntry* entry = Devices().Get(handle);
  return entry != nullptr ? &entry->device : nullptr;
}

constexpr jint kFailed = static_cast<jint>(CANError::kFailed);
constexpr jint kTimeout = static_cast<jint>(ParameterStatus::kTimeout);
// Returned by create for a device number the bus cannot address.
constexpr jint kBadDeviceNumber = -1;

jint Code(CANError error) { return static_cast<jint>(error); }
jint Code(ParameterStatus status) { return static_cast<jint>(status); }

// Calls f(device) for a live handle, else gives fallback.
template <typename R, typename F>
R OnDevice(jint handle, R fallback, F&& f) {
  CANTavrix* device = Device(handle);
  return device != nullptr ? f(*device) : fallback;
}

bool OutArrayUsable(JNIEnv* env, jarray array) {
  return array != nullptr && env->GetArrayLength(array) > 0;
}

}  // namespace

#define TAVRIX_JNI(ret, name) \
  extern "C" JNIEXPORT ret JNICALL Java_com_zemdyn_tavrix_TavrixJNI_##name

// ---------------------------------------------------------------------------
// Lifecycle
// ---------------------------------------------------------------------------

TAVRIX_JNI(jint, create)(JNIEnv*, jclass, jint deviceId, jint motorType) {
  if (deviceId < 0 || deviceId > static_cast<jint>(zem::wire::kDeviceMask)) return kBadDeviceNumber;
  return Devices().Add(std::make_unique<DeviceEntry>(
      deviceId, static_cast<CANTavrixLowLevel::MotorType>(motorType)));
}

TAVRIX_JNI(void, close)(JNIEnv*, jclass, jint handle) {
  std::unique_ptr<DeviceEntry> entry = Devices().Remove(handle);
  if (!entry) return;
  // A closed controller must not keep driving: the driver repeats the last
  // setpoint of a device number until told otherwise.
  entry->device.StopMotor();
}

TAVRIX_JNI(void, reportUseAfterClose)(JNIEnv*, jclass, jint deviceId) {
  zem::adapter::ReportError("CANTavrix " + std::to_string(deviceId) +
                            ": called after close(); the call did nothing");
}

// ---------------------------------------------------------------------------
// Identity, firmware, motor type
// ---------------------------------------------------------------------------

TAVRIX_JNI(jint, getFirmwareVersion)(JNIEnv* env, jclass, jint handle, jbooleanArray isDebugBuild) {
  return OnDevice(handle, jint{0}, [&](CANTavrix& device) {
    bool debug = false;
    const uint32_t version = device.GetFirmwareVersion(debug);
    if (version != 0 && OutArrayUsable(env, isDebugBuild)) {
      const jboolean value = debug ? JNI_TRUE : JNI_FALSE;
      env->SetBooleanArrayRegion(isDebugBuild, 0, 1, &value);
    }
    return static_cast<jint>(version);
  });
}

TAVRIX_JNI(jstring, getFirmwareString)(JNIEnv* env, jclass, jint handle) {
  const std::string text =
      OnDevice(handle, std::string{}, [](CANTavrix& device) { return device.GetFirmwareString(); });
  return env->NewStringUTF(text.c_str());
}

TAVRIX_JNI(jint, getMotorType)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, static_cast<jint>(CANTavrixLowLevel::MotorType::kMotorKind1),
                  [](CANTavrix& device) { return static_cast<jint>(device.GetMotorType()); });
}

TAVRIX_JNI(jint, setMotorType)(JNIEnv*, jclass, jint handle, jint type) {
  return OnDevice(handle, kFailed, [&](CANTavrix& device) {
    return Code(device.SetMotorType(static_cast<CANTavrixLowLevel::MotorType>(type)));
  });
}

// ---------------------------------------------------------------------------
// Raw parameters
// ---------------------------------------------------------------------------

TAVRIX_JNI(jint, setParameterInt)(JNIEnv*, jclass, jint handle, jint id, jint value) {
  return OnDevice(handle, kTimeout, [&](CANTavrix& device) {
    return Code(device.SetParameter(static_cast<ConfigParameter>(id), static_cast<int>(value)));
  });
}

TAVRIX_JNI(jint, setParameterUint32)(JNIEnv*, jclass, jint handle, jint id, jint bits) {
  return OnDevice(handle, kTimeout, [&](CANTavrix& device) {
    return Code(device.SetParameter(static_cast<ConfigParameter>(id), static_cast<uint32_t>(bits)));
  });
}

TAVRIX_JNI(jint, setParameterDouble)(JNIEnv*, jclass, jint handle, jint id, jdouble value) {
  return OnDevice(handle, kTimeout, [&](CANTavrix& device) {
    return Code(device.SetParameter(static_cast<ConfigParameter>(id), static_cast<double>(value)));
  });
}

TAVRIX_JNI(jint, setParameterBool)(JNIEnv*, jclass, jint handle, jint id, jboolean value) {
  return OnDevice(handle, kTimeout, [&](CANTavrix& device) {
    return Code(device.SetParameter(static_cast<ConfigParameter>(id), value == JNI_TRUE));
  });
}

TAVRIX_JNI(jint, getParameterDouble)(JNIEnv* env, jclass, jint handle, jint id, jdoubleArray out) {
  if (!OutArrayUsable(env, out)) return kTimeout;
  return OnDevice(handle, kTimeout, [&](CANTavrix& device) {
    double value = 0.0;
    const ParameterStatus status = device.GetParameter(static_cast<ConfigParameter>(id), value);
    if (status == ParameterStatus::kOK) env->SetDoubleArrayRegion(out, 0, 1, &value);
    return Code(status);
  });
}

TAVRIX_JNI(jint, getParameterInt)(JNIEnv* env, jclass, jint handle, jint id, jintArray out) {
  if (!OutArrayUsable(env, out)) return kTimeout;
  return OnDevice(handle, kTimeout, [&](CANTavrix& device) {
    int value = 0;
    const ParameterStatus status = device.GetParameter(static_cast<ConfigParameter>(id), value);
    const jint word = value;
    if (status == ParameterStatus::kOK) env->SetIntArrayRegion(out, 0, 1, &word);
    return Code(status);
  });
}

TAVRIX_JNI(jint, getParameterUint32)(JNIEnv* env, jclass, jint handle, jint id, jlongArray out) {
  if (!OutArrayUsable(env, out)) return kTimeout;
  return OnDevice(handle, kTimeout, [&](CANTavrix& device) {
    uint32_t value = 0;
    const ParameterStatus status = device.GetParameter(static_cast<ConfigParameter>(id), value);
    const jlong word = value;
    if (status == ParameterStatus::kOK) env->SetLongArrayRegion(out, 0, 1, &word);
    return Code(status);
  });
}

TAVRIX_JNI(jint, getParameterBool)(JNIEnv* env, jclass, jint handle, jint id, jbooleanArray out) {
  if (!OutArrayUsable(env, out)) return kTimeout;
  return OnDevice(handle, kTimeout, [&](CANTavrix& device) {
    bool value = false;
    const ParameterStatus status = device.GetParameter(static_cast<ConfigParameter>(id), value);
    const jboolean word = value ? JNI_TRUE : JNI_FALSE;
    if (status == ParameterStatus::kOK) env->SetBooleanArrayRegion(out, 0, 1, &word);
    return Code(status);
  });
}

TAVRIX_JNI(jint, getParameterType)(JNIEnv*, jclass, jint handle, jint id) {
  return OnDevice(handle, jint{-1}, [&](CANTavrix& device) {
    return static_cast<jint>(device.GetParameterType(static_cast<ConfigParameter>(id)));
  });
}

TAVRIX_JNI(jint, restoreFactoryDefaults)(JNIEnv*, jclass, jint handle, jboolean flag) {
  return OnDevice(handle, kFailed, [&](CANTavrix& device) {
    return Code(device.RestoreFactoryDefaults(flag == JNI_TRUE));
  });
}

TAVRIX_JNI(jint, setPeriodicFramePeriod)(JNIEnv*, jclass, jint handle, jint frame, jint periodMs) {
  return OnDevice(handle, kFailed, [&](CANTavrix& device) {
    return Code(device.SetPeriodicFramePeriod(static_cast<CANTavrixLowLevel::PeriodicFrame>(frame),
                                              periodMs));
  });
}

TAVRIX_JNI(jlong, getStatusFrameAgeMs)(JNIEnv*, jclass, jint handle, jint frame) {
  return OnDevice(
      handle, static_cast<jlong>(CANTavrixLowLevel::kNoStatusFrame), [&](CANTavrix& device) {
        return static_cast<jlong>(
            device.GetStatusFrameAgeMs(static_cast<CANTavrixLowLevel::PeriodicFrame>(frame)));
      });
}

TAVRIX_JNI(jint, setControlFramePeriodMs)(JNIEnv*, jclass, jint handle, jint periodMs) {
  return OnDevice(handle, kFailed, [&](CANTavrix& device) {
    device.SetControlFramePeriodMs(periodMs);
    return Code(CANError::kSuccess);
  });
}

TAVRIX_JNI(jint, setEncPosition)(JNIEnv*, jclass, jint handle, jdouble position) {
  return OnDevice(handle, kFailed,
                  [&](CANTavrix& device) { return Code(device.SetEncPosition(position)); });
}

TAVRIX_JNI(jint, setIAccum)(JNIEnv*, jclass, jint handle, jdouble value) {
  return OnDevice(handle, kFailed,
                  [&](CANTavrix& device) { return Code(device.SetIAccum(value)); });
}

// ---------------------------------------------------------------------------
// Motor controller
// ---------------------------------------------------------------------------

// The hot path: a lookup and the virtual call, nothing allocated.
TAVRIX_JNI(void, set)(JNIEnv*, jclass, jint handle, jdouble speed) {
  CANTavrix* device = Device(handle);
  if (device != nullptr) device->Set(speed);
}

TAVRIX_JNI(jdouble, get)(JNIEnv*, jclass, jint handle) {
  CANTavrix* device = Device(handle);
  return device != nullptr ? device->Get() : 0.0;
}

TAVRIX_JNI(void, setVoltage)(JNIEnv*, jclass, jint handle, jdouble volts) {
  CANTavrix* device = Device(handle);
  if (device != nullptr) device->SetVoltage(units::volt_t{volts});
}

TAVRIX_JNI(void, setInverted)(JNIEnv*, jclass, jint handle, jboolean inverted) {
  CANTavrix* device = Device(handle);
  if (device != nullptr) device->SetInverted(inverted == JNI_TRUE);
}

TAVRIX_JNI(jboolean, getInverted)(JNIEnv*, jclass, jint handle) {
  CANTavrix* device = Device(handle);
  return device != nullptr && device->GetInverted() ? JNI_TRUE : JNI_FALSE;
}

TAVRIX_JNI(void, disable)(JNIEnv*, jclass, jint handle) {
  CANTavrix* device = Device(handle);
  if (device != nullptr) device->Disable();
}

TAVRIX_JNI(void, stopMotor)(JNIEnv*, jclass, jint handle) {
  CANTavrix* device = Device(handle);
  if (device != nullptr) device->StopMotor();
}

TAVRIX_JNI(void, pidWrite)(JNIEnv*, jclass, jint handle, jdouble output) {
  CANTavrix* device = Device(handle);
  if (device != nullptr) device->PIDWrite(output);
}

// ---------------------------------------------------------------------------
// Configuration
// ---------------------------------------------------------------------------

TAVRIX_JNI(jint, setSmartCurrentLimit)
(JNIEnv*, jclass, jint handle, jint stall, jint free, jint limitRpm) {
  return OnDevice(handle, kFailed, [&](CANTavrix& device) {
    return Code(device.SetSmartCurrentLimit(static_cast<unsigned int>(stall),
                                            static_cast<unsigned int>(free),
                                            static_cast<unsigned int>(limitRpm)));
  });
}

TAVRIX_JNI(jint, setSmartCurrentLimit1)(JNIEnv*, jclass, jint handle, jint limit) {
  return OnDevice(handle, kFailed, [&](CANTavrix& device) {
    return Code(device.SetSmartCurrentLimit(static_cast<unsigned int>(limit)));
  });
}

TAVRIX_JNI(jint, setSecondaryCurrentLimit)
(JNIEnv*, jclass, jint handle, jdouble limit, jint cycles) {
  return OnDevice(handle, kFailed, [&](CANTavrix& device) {
    return Code(device.SetSecondaryCurrentLimit(limit, cycles));
  });
}

TAVRIX_JNI(jint, setIdleMode)(JNIEnv*, jclass, jint handle, jint mode) {
  return OnDevice(handle, kFailed, [&](CANTavrix& device) {
    return Code(device.SetIdleMode(static_cast<CANTavrix::IdleMode>(mode)));
  });
}

TAVRIX_JNI(jint, getIdleMode)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, static_cast<jint>(CANTavrix::IdleMode::kIdleMode1),
                  [](CANTavrix& device) { return static_cast<jint>(device.GetIdleMode()); });
}

TAVRIX_JNI(jint, enableVoltageCompensation)(JNIEnv*, jclass, jint handle, jdouble volts) {
  return OnDevice(handle, kFailed,
                  [&](CANTavrix& device) { return Code(device.EnableVoltageCompensation(volts)); });
}

TAVRIX_JNI(jint, disableVoltageCompensation)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, kFailed,
                  [](CANTavrix& device) { return Code(device.DisableVoltageCompensation()); });
}

TAVRIX_JNI(jdouble, getVoltageCompensationNominalVoltage)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, 0.0,
                  [](CANTavrix& device) { return device.GetVoltageCompensationNominalVoltage(); });
}

TAVRIX_JNI(jint, setOpenLoopRampRate)(JNIEnv*, jclass, jint handle, jdouble rate) {
  return OnDevice(handle, kFailed,
                  [&](CANTavrix& device) { return Code(device.SetOpenLoopRampRate(rate)); });
}

TAVRIX_JNI(jint, setClosedLoopRampRate)(JNIEnv*, jclass, jint handle, jdouble rate) {
  return OnDevice(handle, kFailed,
                  [&](CANTavrix& device) { return Code(device.SetClosedLoopRampRate(rate)); });
}

TAVRIX_JNI(jdouble, getOpenLoopRampRate)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, 0.0, [](CANTavrix& device) { return device.GetOpenLoopRampRate(); });
}

TAVRIX_JNI(jdouble, getClosedLoopRampRate)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, 0.0, [](CANTavrix& device) { return device.GetClosedLoopRampRate(); });
}

TAVRIX_JNI(jint, follow)(JNIEnv*, jclass, jint handle, jint leaderHandle, jboolean invert) {
  CANTavrix* leader = Device(leaderHandle);
  if (leader == nullptr) return kFailed;
  return OnDevice(handle, kFailed, [&](CANTavrix& device) {
    return Code(device.Follow(*leader, invert == JNI_TRUE));
  });
}

TAVRIX_JNI(jint, followExternal)
(JNIEnv*, jclass, jint handle, jint leaderFrameId, jint leaderKind, jint deviceId,
 jboolean invert) {
  return OnDevice(handle, kFailed, [&](CANTavrix& device) {
    const CANTavrix::ExternalFollower leader{static_cast<uint32_t>(leaderFrameId),
                                             static_cast<uint32_t>(leaderKind)};
    return Code(device.Follow(leader, deviceId, invert == JNI_TRUE));
  });
}

TAVRIX_JNI(jintArray, followerTavrix)(JNIEnv* env, jclass) {
  const jint values[2] = {static_cast<jint>(CANTavrix::kFollowerTavrix.leaderFrameId),
                          static_cast<jint>(CANTavrix::kFollowerTavrix.leaderKind)};
  jintArray array = env->NewIntArray(2);
  if (array != nullptr) env->SetIntArrayRegion(array, 0, 2, values);
  return array;
}

TAVRIX_JNI(jboolean, isFollower)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, false, [](CANTavrix& device) { return device.IsFollower(); }) ? JNI_TRUE
                                                                                        : JNI_FALSE;
}

// ---------------------------------------------------------------------------
// Status
// ---------------------------------------------------------------------------

TAVRIX_JNI(jint, getFaults)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, jint{0},
                  [](CANTavrix& device) { return static_cast<jint>(device.GetFaults()); });
}

TAVRIX_JNI(jint, getStickyFaults)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, jint{0},
                  [](CANTavrix& device) { return static_cast<jint>(device.GetStickyFaults()); });
}

TAVRIX_JNI(jboolean, getFault)(JNIEnv*, jclass, jint handle, jint fault) {
  return OnDevice(handle, false,
                  [&](CANTavrix& device) {
                    return device.GetFault(static_cast<CANTavrix::FaultID>(fault));
                  })
             ? JNI_TRUE
             : JNI_FALSE;
}

TAVRIX_JNI(jboolean, getStickyFault)(JNIEnv*, jclass, jint handle, jint fault) {
  return OnDevice(handle, false,
                  [&](CANTavrix& device) {
                    return device.GetStickyFault(static_cast<CANTavrix::FaultID>(fault));
                  })
             ? JNI_TRUE
             : JNI_FALSE;
}

TAVRIX_JNI(jdouble, getBusVoltage)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, 0.0, [](CANTavrix& device) { return device.GetBusVoltage(); });
}

TAVRIX_JNI(jdouble, getAppliedOutput)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, 0.0, [](CANTavrix& device) { return device.GetAppliedOutput(); });
}

TAVRIX_JNI(jdouble, getOutputCurrent)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, 0.0, [](CANTavrix& device) { return device.GetOutputCurrent(); });
}

TAVRIX_JNI(jdouble, getMotorTemperature)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, 0.0, [](CANTavrix& device) { return device.GetMotorTemperature(); });
}

TAVRIX_JNI(jint, clearFaults)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, kFailed, [](CANTavrix& device) { return Code(device.ClearFaults()); });
}

TAVRIX_JNI(jint, burnFlash)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, kFailed, [](CANTavrix& device) { return Code(device.BurnFlash()); });
}

TAVRIX_JNI(jint, setCANTimeout)(JNIEnv*, jclass, jint handle, jint milliseconds) {
  return OnDevice(handle, kFailed,
                  [&](CANTavrix& device) { return Code(device.SetCANTimeout(milliseconds)); });
}

// ---------------------------------------------------------------------------
// Encoder view
// ---------------------------------------------------------------------------

TAVRIX_JNI(jdouble, encoderGetPosition)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, 0.0, [](CANTavrix& device) { return device.GetEncoder().GetPosition(); });
}

TAVRIX_JNI(jdouble, encoderGetVelocity)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, 0.0, [](CANTavrix& device) { return device.GetEncoder().GetVelocity(); });
}

TAVRIX_JNI(jint, encoderSetPosition)(JNIEnv*, jclass, jint handle, jdouble position) {
  return OnDevice(handle, kFailed, [&](CANTavrix& device) {
    return Code(device.GetEncoder().SetPosition(position));
  });
}

TAVRIX_JNI(jint, encoderSetPositionConversionFactor)(JNIEnv*, jclass, jint handle, jdouble factor) {
  return OnDevice(handle, kFailed, [&](CANTavrix& device) {
    return Code(device.GetEncoder().SetPositionConversionFactor(factor));
  });
}

TAVRIX_JNI(jint, encoderSetVelocityConversionFactor)(JNIEnv*, jclass, jint handle, jdouble factor) {
  return OnDevice(handle, kFailed, [&](CANTavrix& device) {
    return Code(device.GetEncoder().SetVelocityConversionFactor(factor));
  });
}

TAVRIX_JNI(jdouble, encoderGetPositionConversionFactor)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, 0.0, [](CANTavrix& device) {
    return device.GetEncoder().GetPositionConversionFactor();
  });
}

TAVRIX_JNI(jdouble, encoderGetVelocityConversionFactor)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, 0.0, [](CANTavrix& device) {
    return device.GetEncoder().GetVelocityConversionFactor();
  });
}

// ---------------------------------------------------------------------------
// Closed-loop view: gains and motion settings by parameter kind, so that one
// entry point serves each C++ setter family.
// ---------------------------------------------------------------------------

namespace {

// Kinds of per-slot double settings, in the order of CANPIDController.Setting
// on the Java side.
enum class PidSetting : jint {
  kP,
  kI,
  kD,
  kDFilter,
  kFF,
  kIZone,
  kOutputMin,
  kOutputMax,
  kSmartMotionMaxVelocity,
  kSmartMotionMaxAccel,
  kSmartMotionMinOutputVelocity,
  kSmartMotionAllowedClosedLoopError,
  kSmartMotionAccelStrategy,
  kIMaxAccum,
};

CANError SetPid(zem::CANPIDController& pid, PidSetting setting, double value, int slot) {
  switch (setting) {
    case PidSetting::kP: return pid.SetP(value, slot);
    case PidSetting::kI: return pid.SetI(value, slot);
    case PidSetting::kD: return pid.SetD(value, slot);
    case PidSetting::kDFilter: return pid.SetDFilter(value, slot);
    case PidSetting::kFF: return pid.SetFF(value, slot);
    case PidSetting::kIZone: return pid.SetIZone(value, slot);
    case PidSetting::kSmartMotionMaxVelocity: return pid.SetSmartMotionMaxVelocity(value, slot);
    case PidSetting::kSmartMotionMaxAccel: return pid.SetSmartMotionMaxAccel(value, slot);
    case PidSetting::kSmartMotionMinOutputVelocity:
      return pid.SetSmartMotionMinOutputVelocity(value, slot);
    case PidSetting::kSmartMotionAllowedClosedLoopError:
      return pid.SetSmartMotionAllowedClosedLoopError(value, slot);
    case PidSetting::kSmartMotionAccelStrategy:
      return pid.SetSmartMotionAccelStrategy(
          static_cast<zem::CANPIDController::AccelStrategy>(static_cast<int32_t>(value)), slot);
    case PidSetting::kIMaxAccum: return pid.SetIMaxAccum(value, slot);
    // The output range is set as a pair only (setOutputRange).
    case PidSetting::kOutputMin:
    case PidSetting::kOutputMax: break;
  }
  return CANError::kFailed;
}

double GetPid(zem::CANPIDController& pid, PidSetting setting, int slot) {
  switch (setting) {
    case PidSetting::kP: return pid.GetP(slot);
    case PidSetting::kI: return pid.GetI(slot);
    case PidSetting::kD: return pid.GetD(slot);
    case PidSetting::kDFilter: return pid.GetDFilter(slot);
    case PidSetting::kFF: return pid.GetFF(slot);
    case PidSetting::kIZone: return pid.GetIZone(slot);
    case PidSetting::kOutputMin: return pid.GetOutputMin(slot);
    case PidSetting::kOutputMax: return pid.GetOutputMax(slot);
    case PidSetting::kSmartMotionMaxVelocity: return pid.GetSmartMotionMaxVelocity(slot);
    case PidSetting::kSmartMotionMaxAccel: return pid.GetSmartMotionMaxAccel(slot);
    case PidSetting::kSmartMotionMinOutputVelocity:
      return pid.GetSmartMotionMinOutputVelocity(slot);
    case PidSetting::kSmartMotionAllowedClosedLoopError:
      return pid.GetSmartMotionAllowedClosedLoopError(slot);
    case PidSetting::kSmartMotionAccelStrategy:
      return static_cast<double>(static_cast<int32_t>(pid.GetSmartMotionAccelStrategy(slot)));
    case PidSetting::kIMaxAccum: return pid.GetIMaxAccum(slot);
  }
  return 0.0;
}

}  // namespace

TAVRIX_JNI(jint, pidSetReference)
(JNIEnv*, jclass, jint handle, jdouble value, jint controlType, jint slot, jdouble arbFeedforward) {
  return OnDevice(handle, kFailed, [&](CANTavrix& device) {
    return Code(device.GetPIDController().SetReference(
        value, static_cast<zem::ControlType>(controlType), slot, arbFeedforward));
  });
}

TAVRIX_JNI(jint, pidSet)(JNIEnv*, jclass, jint handle, jint setting, jdouble value, jint slot) {
  return OnDevice(handle, kFailed, [&](CANTavrix& device) {
    zem::CANPIDController pid = device.GetPIDController();
    return Code(SetPid(pid, static_cast<PidSetting>(setting), value, slot));
  });
}

TAVRIX_JNI(jdouble, pidGet)(JNIEnv*, jclass, jint handle, jint setting, jint slot) {
  return OnDevice(handle, 0.0, [&](CANTavrix& device) {
    zem::CANPIDController pid = device.GetPIDController();
    return GetPid(pid, static_cast<PidSetting>(setting), slot);
  });
}

TAVRIX_JNI(jint, pidSetOutputRange)
(JNIEnv*, jclass, jint handle, jdouble min, jdouble max, jint slot) {
  return OnDevice(handle, kFailed, [&](CANTavrix& device) {
    return Code(device.GetPIDController().SetOutputRange(min, max, slot));
  });
}

TAVRIX_JNI(jint, pidSetIAccum)(JNIEnv*, jclass, jint handle, jdouble value) {
  return OnDevice(handle, kFailed, [&](CANTavrix& device) {
    return Code(device.GetPIDController().SetIAccum(value));
  });
}

TAVRIX_JNI(jdouble, pidGetIAccum)(JNIEnv*, jclass, jint handle) {
  return OnDevice(handle, 0.0,
                  [](CANTavrix& device) { return device.GetPIDController().GetIAccum(); });
}

// ---------------------------------------------------------------------------
// Limit-switch views: made once per getForward/ReverseLimitSwitch call, kept
// in the device's entry.
// ---------------------------------------------------------------------------

namespace {

CANDigitalInput* Limit(jint handle, jint which) {
  DeviceEntry* entry = Devices().Get(handle);
  if (entry == nullptr || which < 0 || which > 1) return nullptr;
  auto& limit = entry->limits[static_cast<size_t>(which)];
  return limit ? &*limit : nullptr;
}

}  // namespace

TAVRIX_JNI(jboolean, limitCreate)(JNIEnv*, jclass, jint handle, jint which, jint polarity) {
  DeviceEntry* entry = Devices().Get(handle);
  if (entry == nullptr || which < 0 || which > 1) return JNI_FALSE;
  entry->limits[static_cast<size_t>(which)].emplace(
      entry->device, static_cast<CANDigitalInput::LimitSwitch>(which),
      static_cast<CANDigitalInput::LimitSwitchPolarity>(polarity));
  return JNI_TRUE;
}

TAVRIX_JNI(jboolean, limitGet)(JNIEnv*, jclass, jint handle, jint which) {
  CANDigitalInput* limit = Limit(handle, which);
  return limit != nullptr && limit->Get() ? JNI_TRUE : JNI_FALSE;
}

TAVRIX_JNI(jint, limitEnable)(JNIEnv*, jclass, jint handle, jint which, jboolean enable) {
  CANDigitalInput* limit = Limit(handle, which);
  return limit != nullptr ? Code(limit->EnableLimitSwitch(enable == JNI_TRUE)) : kFailed;
}

TAVRIX_JNI(jboolean, limitIsEnabled)(JNIEnv*, jclass, jint handle, jint which) {
  CANDigitalInput* limit = Limit(handle, which);
  return limit != nullptr && limit->IsLimitSwitchEnabled() ? JNI_TRUE : JNI_FALSE;
}

// ---------------------------------------------------------------------------
// The PWM controller: Java's PWMMotorController owns the PWM output; the
// pulse bounds and usage report it needs come from the C++ class.
// ---------------------------------------------------------------------------

TAVRIX_JNI(jdoubleArray, pwmPulseBoundsMs)(JNIEnv* env, jclass) {
  const auto& b = zem::Tavrix::kPulseBounds;
  const jdouble values[5] = {b.max, b.deadbandMax, b.center, b.deadbandMin, b.min};
  jdoubleArray array = env->NewDoubleArray(5);
  if (array != nullptr) env->SetDoubleArrayRegion(array, 0, 5, values);
  return array;
}

TAVRIX_JNI(jint, pwmUsageResource)(JNIEnv*, jclass) { return zem::Tavrix::kPwmUsageResource; }
