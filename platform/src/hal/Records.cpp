// What the simulated platform records for tests (trace, reads, reports, driver-station
// texts, PWM channels). One never-destroyed store, one mutex; the read hook is copied
// out and called without the lock.
#include <map>
#include <mutex>
#include <utility>

#include "common/PlatformInternal.h"
#include "hal/simulation/SimRecords.h"

namespace halsim {

namespace {

struct Store {
  std::mutex mutex;
  bool traceEnabled = true;
  std::vector<CanFrameRecord> trace;
  std::vector<CanReadRecord> reads;
  CanReadHook readHook;
  std::vector<UsageReport> reports;
  std::vector<std::string> driverStationErrors;
  std::map<int, PwmState> pwm;
};

// Created on first use and never destroyed: threads may record during static destruction.
Store& TheStore() {
  static Store* store = new Store;
  return *store;
}

template <typename T>
std::vector<T> CopyUnderLock(const std::vector<T>& items) {
  std::lock_guard<std::mutex> lock(TheStore().mutex);
  return items;
}

}  // namespace

std::vector<CanFrameRecord> GetCanTrace() { return CopyUnderLock(TheStore().trace); }

std::vector<CanFrameRecord> GetCanTraceForId(uint32_t messageID) {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  std::vector<CanFrameRecord> out;
  for (const CanFrameRecord& record : store.trace) {
    if (record.fromRobot && record.messageID == messageID) out.push_back(record);
  }
  return out;
}

void ClearCanTrace() {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  store.trace.clear();
}

void SetCanTraceEnabled(bool enabled) {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  store.traceEnabled = enabled;
}

uint64_t GetCanTraceSize() {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  return store.trace.size();
}

std::vector<CanReadRecord> GetCanReads() { return CopyUnderLock(TheStore().reads); }

void ClearCanReads() {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  store.reads.clear();
}

void SetCanReadHook(CanReadHook hook) {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  store.readHook = std::move(hook);
}

std::vector<UsageReport> GetUsageReports() { return CopyUnderLock(TheStore().reports); }

void ClearUsageReports() {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  store.reports.clear();
}

std::vector<std::string> GetDriverStationErrors() {
  return CopyUnderLock(TheStore().driverStationErrors);
}

void ClearDriverStationErrors() {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  store.driverStationErrors.clear();
}

PwmState GetPwmState(int channel) {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  auto found = store.pwm.find(channel);
  return found == store.pwm.end() ? PwmState{} : found->second;
}

void ClearPwmState() {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  store.pwm.clear();
}

void ResetRecords() {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  store.trace.clear();
  store.reads.clear();
  store.reports.clear();
  store.driverStationErrors.clear();
  store.pwm.clear();
}

namespace internal {

void RecordCanFrame(const CanFrameRecord& record) {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  if (store.traceEnabled) store.trace.push_back(record);
}

void CallCanReadHook(const CanReadRecord& record) {
  CanReadHook hook;
  {
    Store& store = TheStore();
    std::lock_guard<std::mutex> lock(store.mutex);
    hook = store.readHook;
  }
  if (hook) hook(record);
}

void RecordCanRead(const CanReadRecord& record) {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  store.reads.push_back(record);
}

void RecordUsageReport(const UsageReport& report) {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  store.reports.push_back(report);
}

void RecordDriverStationError(const std::string& text) {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  store.driverStationErrors.push_back(text);
}

void RecordPwmCall(int channel, const std::string& call,
                   const std::function<void(PwmState&)>& change) {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  PwmState& state = store.pwm[channel];
  if (change) change(state);
  state.calls.push_back(call);
}

}  // namespace internal
}  // namespace halsim
