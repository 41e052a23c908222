// The native side of com.zemdyn.tavrix.sim: each method of SimJNI looks its
// simulated controller or mechanism up by handle and calls the C++ object
// (tavrix::sim), so Java tests drive the same simulated controller as C++
// tests. A handle that names no object gives false, 0 or nothing. The HAL's
// CAN simulation callbacks are registered by the C++ controller, which
// initialises the HAL first; WPILib 2026 has no Java API for them.
#include <jni.h>

// javac -h writes the declarations at build time, so the definitions below are
// checked against the Java side; a configure-only build (the linter) lacks them.
#if __has_include("com_zemdyn_tavrix_sim_SimJNI.h")
#include "com_zemdyn_tavrix_sim_SimJNI.h"  // IWYU pragma: keep
#endif

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <hal/simulation/MockHooks.h>

#include "HandleTable.h"
#include "tavrix/sim/Mechanisms.h"
#include "tavrix/sim/SimController.h"

namespace {

using tavrix::sim::Mechanism;
using tavrix::sim::SimController;

// A Java Mechanism holds one reference; controllers it is attached to hold
// their own, so closing the Java object never pulls it from under them.
struct MechanismEntry {
  std::shared_ptr<Mechanism> mechanism;
};

tavrix::jni::HandleTable<SimController>& Controllers() {
  static tavrix::jni::HandleTable<SimController> table;
  return table;
}

tavrix::jni::HandleTable<MechanismEntry>& Mechanisms() {
  static tavrix::jni::HandleTable<MechanismEntry> table;
  return table;
}

Mechanism* MechanismOf(jint handle) {
  MechanismEntry* entry = Mechanisms().Get(handle);
  return entry != nullptr ? entry->mechanism.get() : nullptr;
}

template <typename R, typename F>
R OnController(jint handle, R fallback, F&& f) {
  SimController* controller = Controllers().Get(handle);
  return controller != nullptr ? f(*controller) : fallback;
}

jboolean Bool(bool value) { return value ? JNI_TRUE : JNI_FALSE; }

// The error reports of the process (HAL_SendError), kept while the log is on.
struct ErrorLog {
  std::mutex mutex;
  std::vector<std::string> details;
};

ErrorLog& Errors() {
  static ErrorLog log;
  return log;
}

int32_t KeepError(HAL_Bool, int32_t, HAL_Bool, const char* details, const char*, const char*,
                  HAL_Bool) {
  ErrorLog& log = Errors();
  std::scoped_lock lock{log.mutex};
  log.details.emplace_back(details != nullptr ? details : "");
  return 0;
}

jint MechanismHandle(std::shared_ptr<Mechanism> mechanism) {
  if (!mechanism) return 0;
  return Mechanisms().Add(std::make_unique<MechanismEntry>(MechanismEntry{std::move(mechanism)}));
}

}  // namespace

#define TAVRIX_SIM_JNI(ret, name) \
  extern "C" JNIEXPORT ret JNICALL Java_com_zemdyn_tavrix_sim_SimJNI_##name

// ---------------------------------------------------------------------------
// Simulated controller
// ---------------------------------------------------------------------------

TAVRIX_SIM_JNI(jint, create)(JNIEnv*, jclass, jint deviceNumber) {
  return Controllers().Add(std::make_unique<SimController>(deviceNumber));
}

TAVRIX_SIM_JNI(void, close)(JNIEnv*, jclass, jint handle) {
  // Destroying detaches: returns once no tick runs.
  Controllers().Remove(handle).reset();
}

TAVRIX_SIM_JNI(jboolean, attach)(JNIEnv*, jclass, jint handle) {
  return Bool(OnController(handle, false, [](SimController& c) { return c.Attach(); }));
}

TAVRIX_SIM_JNI(void, detach)(JNIEnv*, jclass, jint handle) {
  SimController* controller = Controllers().Get(handle);
  if (controller != nullptr) controller->Detach();
}

TAVRIX_SIM_JNI(jboolean, isAttached)(JNIEnv*, jclass, jint handle) {
  return Bool(OnController(handle, false, [](SimController& c) { return c.IsAttached(); }));
}

// State into two arrays, in the order SimState's constructor reads them.
TAVRIX_SIM_JNI(jboolean, getState)
(JNIEnv* env, jclass, jint handle, jdoubleArray values, jlongArray counts) {
  SimController* controller = Controllers().Get(handle);
  if (controller == nullptr || values == nullptr || counts == nullptr) return JNI_FALSE;
  const tavrix::sim::SimState s = controller->GetState();
  const tavrix::sim::LastSetpoint& last = s.lastSetpoint;
  const std::array<jdouble, 21> v = {s.appliedOutput,
                                     s.velocity,
                                     s.position,
                                     s.outputCurrent,
                                     s.temperatureC,
                                     s.busVoltage,
                                     s.iAccum,
                                     static_cast<double>(s.faults),
                                     static_cast<double>(s.stickyFaults),
                                     s.isFollower ? 1.0 : 0.0,
                                     s.outputsEnabled ? 1.0 : 0.0,
                                     static_cast<double>(s.statusPeriodMs[0]),
                                     static_cast<double>(s.statusPeriodMs[1]),
                                     static_cast<double>(s.statusPeriodMs[2]),
                                     last.received ? 1.0 : 0.0,
                                     static_cast<double>(last.apiId),
                                     static_cast<double>(last.controlType),
                                     static_cast<double>(last.value),
                                     static_cast<double>(last.aux),
                                     static_cast<double>(last.pidSlot),
                                     controller->GetMotorVoltage()};
  const tavrix::sim::CommandCounts& n = s.counts;
  const std::array<uint64_t, 13> c = {n.setpoints,       n.heartbeats,          n.parameterWrites,
                                      n.parameterReads,  n.firmwareRequests,    n.followerCommands,
                                      n.periodCommands,  n.clearFaults,         n.burnFlashes,
                                      n.factoryDefaults, n.encoderPositionSets, n.iAccumSets,
                                      n.rejected};
  std::array<jlong, 13> cj{};
  for (size_t i = 0; i < c.size(); ++i) cj[i] = static_cast<jlong>(c[i]);
  if (env->GetArrayLength(values) < static_cast<jsize>(v.size()) ||
      env->GetArrayLength(counts) < static_cast<jsize>(cj.size())) {
    return JNI_FALSE;
  }
  env->SetDoubleArrayRegion(values, 0, static_cast<jsize>(v.size()), v.data());
  env->SetLongArrayRegion(counts, 0, static_cast<jsize>(cj.size()), cj.data());
  return JNI_TRUE;
}

TAVRIX_SIM_JNI(jdouble, getAppliedOutput)(JNIEnv*, jclass, jint handle) {
  return OnController(handle, 0.0, [](SimController& c) { return c.GetAppliedOutput(); });
}

TAVRIX_SIM_JNI(jdouble, getVelocity)(JNIEnv*, jclass, jint handle) {
  return OnController(handle, 0.0, [](SimController& c) { return c.GetVelocity(); });
}

TAVRIX_SIM_JNI(jdouble, getPosition)(JNIEnv*, jclass, jint handle) {
  return OnController(handle, 0.0, [](SimController& c) { return c.GetPosition(); });
}

TAVRIX_SIM_JNI(jdouble, getOutputCurrent)(JNIEnv*, jclass, jint handle) {
  return OnController(handle, 0.0, [](SimController& c) { return c.GetOutputCurrent(); });
}

TAVRIX_SIM_JNI(jdouble, getTemperature)(JNIEnv*, jclass, jint handle) {
  return OnController(handle, 0.0, [](SimController& c) { return c.GetTemperature(); });
}

TAVRIX_SIM_JNI(jdouble, getMotorVoltage)(JNIEnv*, jclass, jint handle) {
  return OnController(handle, 0.0, [](SimController& c) { return c.GetMotorVoltage(); });
}

TAVRIX_SIM_JNI(jboolean, setRotorState)
(JNIEnv*, jclass, jint handle, jdouble rotations, jdouble rpm) {
  return Bool(OnController(handle, false,
                           [&](SimController& c) { return c.SetRotorState(rotations, rpm); }));
}

TAVRIX_SIM_JNI(void, releaseRotorState)(JNIEnv*, jclass, jint handle) {
  SimController* controller = Controllers().Get(handle);
  if (controller != nullptr) controller->ReleaseRotorState();
}

// word | type << 32, or -1 for an id the controller does not know.
TAVRIX_SIM_JNI(jlong, getParameter)(JNIEnv*, jclass, jint handle, jint id) {
  return OnController(handle, jlong{-1}, [&](SimController& c) {
    const auto value = c.GetParameter(id);
    if (!value) return jlong{-1};
    return static_cast<jlong>(value->word) | (static_cast<jlong>(value->type) << 32);
  });
}

TAVRIX_SIM_JNI(jboolean, setParameter)
(JNIEnv*, jclass, jint handle, jint id, jint word, jint type) {
  return Bool(OnController(handle, false, [&](SimController& c) {
    if (type < 0 || type > 255) return false;
    return c.SetParameter(
        id, tavrix::sim::ParameterValue{static_cast<uint32_t>(word), static_cast<uint8_t>(type)});
  }));
}

TAVRIX_SIM_JNI(void, setLimitSwitch)
(JNIEnv*, jclass, jint handle, jboolean forward, jboolean pressed) {
  SimController* controller = Controllers().Get(handle);
  if (controller == nullptr) return;
  controller->SetLimitSwitch(
      forward == JNI_TRUE ? tavrix::sim::LimitSwitch::kForward : tavrix::sim::LimitSwitch::kReverse,
      pressed == JNI_TRUE);
}

TAVRIX_SIM_JNI(jboolean, setBusVoltage)(JNIEnv*, jclass, jint handle, jdouble volts) {
  return Bool(
      OnController(handle, false, [&](SimController& c) { return c.SetBusVoltage(volts); }));
}

TAVRIX_SIM_JNI(jboolean, attachMechanism)(JNIEnv*, jclass, jint handle, jint mechanismHandle) {
  SimController* controller = Controllers().Get(handle);
  if (controller == nullptr) return JNI_FALSE;
  MechanismEntry* entry = Mechanisms().Get(mechanismHandle);
  // 0 (null on the Java side) puts the motor back on its own load.
  if (entry == nullptr && mechanismHandle != 0) return JNI_FALSE;
  controller->AttachMechanism(entry != nullptr ? entry->mechanism : nullptr);
  return JNI_TRUE;
}

TAVRIX_SIM_JNI(void, setFirmware)(JNIEnv*, jclass, jint handle, jint version, jboolean debug) {
  SimController* controller = Controllers().Get(handle);
  if (controller != nullptr)
    controller->SetFirmware(static_cast<uint32_t>(version), debug == JNI_TRUE);
}

TAVRIX_SIM_JNI(jboolean, setClosedLoopQuantity)
(JNIEnv*, jclass, jint handle, jint controlType, jint quantity) {
  if (quantity < 0 || quantity > 3) return JNI_FALSE;
  return Bool(OnController(handle, false, [&](SimController& c) {
    return c.SetClosedLoopQuantity(controlType,
                                   static_cast<tavrix::sim::ClosedLoopQuantity>(quantity));
  }));
}

TAVRIX_SIM_JNI(void, setFaultBits)(JNIEnv*, jclass, jint handle, jint bits) {
  SimController* controller = Controllers().Get(handle);
  if (controller != nullptr) controller->SetFaultBits(static_cast<uint16_t>(bits & 0xFFFF));
}

TAVRIX_SIM_JNI(void, setBusFaults)
(JNIEnv*, jclass, jint handle, jboolean silent, jlong replyDelayUs, jint replyLength,
 jboolean corruptFollowerEcho, jboolean statusFramesStopped) {
  SimController* controller = Controllers().Get(handle);
  if (controller == nullptr) return;
  tavrix::sim::BusFaults faults;
  faults.silent = silent == JNI_TRUE;
  faults.replyDelayUs = replyDelayUs > 0 ? static_cast<uint64_t>(replyDelayUs) : 0;
  faults.replyLength = replyLength;
  faults.corruptFollowerEcho = corruptFollowerEcho == JNI_TRUE;
  faults.statusFramesStopped = statusFramesStopped == JNI_TRUE;
  controller->SetBusFaults(faults);
}

TAVRIX_SIM_JNI(void, powerCycle)(JNIEnv*, jclass, jint handle) {
  SimController* controller = Controllers().Get(handle);
  if (controller != nullptr) controller->PowerCycle();
}

TAVRIX_SIM_JNI(void, resetSimulation)(JNIEnv*, jclass) { tavrix::sim::ResetSimulation(); }

TAVRIX_SIM_JNI(jboolean, setBattery)
(JNIEnv*, jclass, jdouble openCircuitVolts, jdouble resistanceOhm) {
  return Bool(tavrix::sim::SetBattery(tavrix::sim::BatteryModel{openCircuitVolts, resistanceOhm}));
}

TAVRIX_SIM_JNI(jdouble, getBatteryBusVoltage)(JNIEnv*, jclass) {
  return tavrix::sim::GetBatteryBusVoltage();
}

// ---------------------------------------------------------------------------
// Mechanisms
// ---------------------------------------------------------------------------

TAVRIX_SIM_JNI(jint, flywheel)
(JNIEnv*, jclass, jdouble gearRatio, jdouble moiKgM2, jdouble viscous, jdouble coulomb) {
  return MechanismHandle(
      Mechanism::Flywheel(tavrix::sim::FlywheelParams{gearRatio, moiKgM2, viscous, coulomb}));
}

TAVRIX_SIM_JNI(jint, arm)
(JNIEnv*, jclass, jdouble gearRatio, jdouble massKg, jdouble lengthM, jdouble minAngleRad,
 jdouble maxAngleRad, jdouble viscous, jdouble coulomb) {
  return MechanismHandle(Mechanism::Arm(tavrix::sim::ArmParams{
      gearRatio, massKg, lengthM, minAngleRad, maxAngleRad, viscous, coulomb}));
}

TAVRIX_SIM_JNI(jint, elevator)
(JNIEnv*, jclass, jdouble gearRatio, jdouble carriageMassKg, jdouble drumRadiusM,
 jdouble minHeightM, jdouble maxHeightM, jdouble viscous, jdouble coulomb) {
  return MechanismHandle(Mechanism::Elevator(tavrix::sim::ElevatorParams{
      gearRatio, carriageMassKg, drumRadiusM, minHeightM, maxHeightM, viscous, coulomb}));
}

TAVRIX_SIM_JNI(void, mechanismClose)(JNIEnv*, jclass, jint handle) {
  Mechanisms().Remove(handle).reset();
}

TAVRIX_SIM_JNI(jdouble, mechanismPosition)(JNIEnv*, jclass, jint handle) {
  Mechanism* mechanism = MechanismOf(handle);
  return mechanism != nullptr ? mechanism->GetState().position : 0.0;
}

TAVRIX_SIM_JNI(jdouble, mechanismVelocity)(JNIEnv*, jclass, jint handle) {
  Mechanism* mechanism = MechanismOf(handle);
  return mechanism != nullptr ? mechanism->GetState().velocity : 0.0;
}

TAVRIX_SIM_JNI(jboolean, mechanismSetState)
(JNIEnv*, jclass, jint handle, jdouble position, jdouble velocity) {
  Mechanism* mechanism = MechanismOf(handle);
  return Bool(mechanism != nullptr &&
              mechanism->SetState(tavrix::sim::MechanismState{position, velocity}));
}

TAVRIX_SIM_JNI(jdouble, mechanismGearRatio)(JNIEnv*, jclass, jint handle) {
  Mechanism* mechanism = MechanismOf(handle);
  return mechanism != nullptr ? mechanism->GetGearRatio() : 0.0;
}

// ---------------------------------------------------------------------------
// Error log
// ---------------------------------------------------------------------------

TAVRIX_SIM_JNI(void, errorLogStart)(JNIEnv*, jclass) {
  {
    std::scoped_lock lock{Errors().mutex};
    Errors().details.clear();
  }
  HALSIM_SetSendError(&KeepError);
}

TAVRIX_SIM_JNI(void, errorLogStop)(JNIEnv*, jclass) { HALSIM_SetSendError(nullptr); }

TAVRIX_SIM_JNI(jobjectArray, errorLogTake)(JNIEnv* env, jclass) {
  std::vector<std::string> taken;
  {
    std::scoped_lock lock{Errors().mutex};
    taken.swap(Errors().details);
  }
  jclass stringClass = env->FindClass("java/lang/String");
  if (stringClass == nullptr) return nullptr;
  jobjectArray array = env->NewObjectArray(static_cast<jsize>(taken.size()), stringClass, nullptr);
  if (array == nullptr) return nullptr;
  for (size_t i = 0; i < taken.size(); ++i) {
    jstring text = env->NewStringUTF(taken[i].c_str());
    if (text == nullptr) return nullptr;
    env->SetObjectArrayElement(array, static_cast<jsize>(i), text);
    env->DeleteLocalRef(text);
  }
  return array;
}
