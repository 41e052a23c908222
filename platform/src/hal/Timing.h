// The simulated FPGA clock and the notifiers that wait on it (one process-wide
// object, one mutex), including the synchronous stepping of paused time.
#pragma once

#include <stdint.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "hal/Types.h"

namespace hal {

class Timing {
 public:
  // Created on first use and never destroyed.
  static Timing& Get();

  uint64_t Now();
  void Pause();
  void Resume();
  bool IsPaused();
  void Step(uint64_t deltaUs);

  HAL_NotifierHandle CreateNotifier();
  // Each returns false for an unknown handle.
  bool UpdateAlarm(HAL_NotifierHandle handle, uint64_t triggerUs);
  bool CancelAlarm(HAL_NotifierHandle handle);
  bool StopNotifier(HAL_NotifierHandle handle);
  bool CleanNotifier(HAL_NotifierHandle handle);
  // Returns the time it woke at, 0 when stopped; *valid false for an unknown handle.
  uint64_t WaitForAlarm(HAL_NotifierHandle handle, bool* valid);

  // Wakes every waiter so that waits of stopped SafeThreads end, and steps re-check.
  void WakeAll();

 private:
  using SteadyClock = std::chrono::steady_clock;

  struct Notifier {
    uint64_t triggerUs = 0;
    bool alarmSet = false;
    bool stopped = false;
    int waiters = 0;  // threads blocked in WaitForAlarm
  };
  using NotifierPtr = std::shared_ptr<Notifier>;
  using Lock = std::unique_lock<std::mutex>;

  Timing();

  uint64_t NowLocked() const;
  uint64_t RealElapsedUs() const;
  bool IsDue(const Notifier& notifier, uint64_t nowUs) const;
  bool IsParked(const Notifier& notifier, uint64_t nowUs) const;
  bool AllParked(const std::vector<NotifierPtr>& notifiers) const;
  bool SafeThreadsParked() const;
  std::vector<NotifierPtr> LiveNotifiers() const;
  NotifierPtr Find(HAL_NotifierHandle handle) const;
  void BlockWaiter(Lock& lock, const Notifier& notifier, uint64_t nowUs);
  // Waits (bounded on the wall clock) until pred() holds; steps never hang on a thread
  // that does not come back to its wait.
  template <typename Pred>
  void WaitForSettle(Lock& lock, Pred pred);
  uint64_t NextPiece(uint64_t nowUs, uint64_t remainingUs) const;
  void Advance(uint64_t deltaUs);
  std::vector<NotifierPtr> BecameDue(uint64_t fromUs, uint64_t toUs) const;

  mutable std::mutex m_mutex;
  std::condition_variable m_waitCv;    // waiters in WaitForAlarm
  std::condition_variable m_settleCv;  // a step waiting for notifiers to park
  std::mutex m_stepMutex;              // one step at a time
  const SteadyClock::time_point m_origin;
  bool m_paused = false;
  uint64_t m_pausedUs = 0;
  uint64_t m_offsetUs = 0;  // simulated = real elapsed + offset (modulo 2^64)
  int m_blockedSafeThreads = 0;
  std::map<HAL_NotifierHandle, NotifierPtr> m_notifiers;
  HAL_NotifierHandle m_nextHandle = 1;
};

}  // namespace hal
