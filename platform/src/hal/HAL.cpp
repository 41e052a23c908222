// HAL core of the stand-in: initialisation, the enable state, usage reports, error
// texts, the notifier C interface and the clock's simulation controls.
#include <atomic>
#include <thread>

#include "Lifetime.h"
#include "Status.h"
#include "Timing.h"
#include "common/PlatformInternal.h"
#include "hal/Errors.h"
#include "hal/HAL.h"
#include "hal/simulation/DriverStationData.h"
#include "hal/simulation/MockHooks.h"
#include "wpi/SafeThread.h"

namespace {

std::atomic<HAL_Bool> gDriverStationEnabled{0};

void OnSafeThreadStopped(std::thread::id) { hal::Timing::Get().WakeAll(); }
void OnSafeThreadStarted(uint64_t startSequence) {
  hal::Timing::Get().HoldStartingThread(startSequence);
}
void OnSafeThreadEnded() { hal::Timing::Get().ThreadEnded(); }

// Installed when the library is loaded: an owner that stops its SafeThread then ends
// that thread's notifier wait at once (it sees the thread stopping and returns 0),
// even while the clock is paused, so that process exit is prompt.
struct HookInstaller {
  HookInstaller() {
    wpi::detail::SetSafeThreadStopHook(&OnSafeThreadStopped);
    wpi::detail::SetSafeThreadStartHook(&OnSafeThreadStarted);
    wpi::detail::SetSafeThreadEndHook(&OnSafeThreadEnded);
  }
};
const HookInstaller gHookInstaller;

void SetHandleStatus(bool valid, int32_t* status) {
  hal::SetStatus(status, valid ? HAL_SUCCESS : HAL_HANDLE_ERROR);
}

}  // namespace

extern "C" {

const char* HAL_GetErrorMessage(int32_t code) {
  switch (code) {
    case HAL_SUCCESS: return "";
    case HAL_HANDLE_ERROR: return HAL_HANDLE_ERROR_MESSAGE;
    case PARAMETER_OUT_OF_RANGE: return PARAMETER_OUT_OF_RANGE_MESSAGE;
    case HAL_CAN_TIMEOUT: return HAL_CAN_TIMEOUT_MESSAGE;
    case HAL_ERR_CANSessionMux_InvalidBuffer: return "CAN: Invalid Buffer";
    case HAL_ERR_CANSessionMux_MessageNotFound: return "CAN: Message not found";
    default: return "";
  }
}

uint64_t HAL_GetFPGATime(int32_t* status) {
  hal::CheckAlive(__func__);
  hal::SetStatus(status, HAL_SUCCESS);
  return hal::Timing::Get().Now();
}

HAL_Bool HAL_GetSystemActive(int32_t* status) {
  hal::CheckAlive(__func__);
  hal::SetStatus(status, HAL_SUCCESS);
  return gDriverStationEnabled.load();
}

HAL_Bool HAL_Initialize(int32_t /*timeout*/, int32_t /*mode*/) {
  hal::InitializeOnce();
  return 1;
}

int64_t HAL_Report(int32_t resource, int32_t instanceNumber, int32_t context, const char* feature) {
  halsim::UsageReport report;
  report.resource = resource;
  report.instanceNumber = instanceNumber;
  report.context = context;
  report.hasFeature = feature != nullptr;
  if (feature != nullptr) report.feature = feature;
  halsim::internal::RecordUsageReport(report);
  return 0;
}

HAL_NotifierHandle HAL_InitializeNotifier(int32_t* status) {
  hal::InitializeOnce();
  hal::CheckAlive(__func__);
  HAL_NotifierHandle handle = hal::Timing::Get().CreateNotifier();
  SetHandleStatus(handle != HAL_kInvalidHandle, status);
  return handle;
}

void HAL_UpdateNotifierAlarm(HAL_NotifierHandle notifierHandle, uint64_t triggerTime,
                             int32_t* status) {
  hal::CheckAlive(__func__);
  SetHandleStatus(hal::Timing::Get().UpdateAlarm(notifierHandle, triggerTime), status);
}

void HAL_CancelNotifierAlarm(HAL_NotifierHandle notifierHandle, int32_t* status) {
  hal::CheckAlive(__func__);
  SetHandleStatus(hal::Timing::Get().CancelAlarm(notifierHandle), status);
}

void HAL_StopNotifier(HAL_NotifierHandle notifierHandle, int32_t* status) {
  hal::CheckAlive(__func__);
  SetHandleStatus(hal::Timing::Get().StopNotifier(notifierHandle), status);
}

void HAL_CleanNotifier(HAL_NotifierHandle notifierHandle, int32_t* status) {
  hal::CheckAlive(__func__);
  SetHandleStatus(hal::Timing::Get().CleanNotifier(notifierHandle), status);
}

uint64_t HAL_WaitForNotifierAlarm(HAL_NotifierHandle notifierHandle, int32_t* status) {
  hal::CheckAlive(__func__);
  bool valid = false;
  uint64_t woke = hal::Timing::Get().WaitForAlarm(notifierHandle, &valid);
  // Woken during exit: on WPILib the notifier table is gone by now.
  hal::CheckAlive(__func__);
  SetHandleStatus(valid, status);
  return woke;
}

void HALSIM_PauseTiming(void) { hal::Timing::Get().Pause(); }
void HALSIM_ResumeTiming(void) { hal::Timing::Get().Resume(); }
void HALSIM_RestartTiming(void) { hal::Timing::Get().Restart(); }
HAL_Bool HALSIM_IsTimingPaused(void) { return hal::Timing::Get().IsPaused() ? 1 : 0; }
void HALSIM_StepTiming(uint64_t deltaUs) { hal::Timing::Get().Step(deltaUs); }

int32_t HALSIM_RegisterTimedCallback(uint64_t firstUs, HALSIM_TimedCallback callback, void* param) {
  return hal::Timing::Get().RegisterTimedCallback(firstUs, callback, param);
}

void HALSIM_CancelTimedCallback(int32_t uid) { hal::Timing::Get().CancelTimedCallback(uid); }

void HALSIM_SetDriverStationEnabled(HAL_Bool enabled) {
  gDriverStationEnabled.store(enabled ? 1 : 0);
}

HAL_Bool HALSIM_GetDriverStationEnabled(void) { return gDriverStationEnabled.load(); }

}  // extern "C"
