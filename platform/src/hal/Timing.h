// The simulated FPGA clock, the notifiers that wait on it and the timed
// callbacks that run on it (one process-wide object, one mutex), including the
// synchronous, ordered stepping of paused time.
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
#include "hal/simulation/MockHooks.h"

namespace hal {

class Timing {
 public:
  // Created on first use and never destroyed.
  static Timing& Get();

  uint64_t Now();
  void Pause();
  void Resume();
  void Restart();
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
  // On a new SafeThread before its Main: while paused, holds it until a step runs it.
  void HoldStartingThread(uint64_t startSequence);
  // On a SafeThread after its Main returned.
  void ThreadEnded();

  int32_t RegisterTimedCallback(uint64_t firstUs, HALSIM_TimedCallback function, void* param);
  void CancelTimedCallback(int32_t handle);

 private:
  using SteadyClock = std::chrono::steady_clock;

  struct Notifier {
    uint64_t order = 0;  // creation order, the tie-break of simultaneous wake-ups
    uint64_t triggerUs = 0;
    bool alarmSet = false;
    bool stopped = false;
    bool granted = false;  // a paused step has handed its waiter the turn
    int waiters = 0;       // threads blocked in WaitForAlarm
  };
  using NotifierPtr = std::shared_ptr<Notifier>;

  // A SafeThread started while paused, waiting for its first turn.
  struct Starter {
    uint64_t sequence = 0;
    bool granted = false;
  };
  using StarterPtr = std::shared_ptr<Starter>;

  struct TimedCallback {
    int32_t handle = 0;
    uint64_t order = 0;
    uint64_t nextUs = 0;
    HALSIM_TimedCallback function = nullptr;
    void* param = nullptr;
    bool running = false;
    std::thread::id runningThread;
    bool cancelled = false;
  };
  using CallbackPtr = std::shared_ptr<TimedCallback>;

  // The next thing a paused step runs: a notifier's thread or a callback.
  struct Event {
    uint64_t timeUs = 0;
    uint64_t order = 0;
    NotifierPtr notifier;
    CallbackPtr callback;
    explicit operator bool() const { return notifier || callback; }
  };

  using Lock = std::unique_lock<std::mutex>;

  Timing();

  uint64_t NowLocked() const;
  uint64_t RealElapsedUs() const;
  bool IsDue(const Notifier& notifier, uint64_t nowUs) const;
  bool IsParked(const Notifier& notifier, uint64_t nowUs) const;
  bool AllParked(const std::vector<NotifierPtr>& notifiers) const;
  bool SafeThreadsParked() const;
  bool Settled() const;
  std::vector<NotifierPtr> LiveNotifiers() const;
  NotifierPtr Find(HAL_NotifierHandle handle) const;
  void BlockWaiter(Lock& lock, const Notifier& notifier, uint64_t nowUs);
  bool HoldsTurn() const;
  void TakeTurn();
  void ReleaseTurn();
  // A turn granted to a notifier that nobody claimed yet goes back when it stops.
  void WithdrawUnclaimedTurn(Notifier& notifier);
  // Waits (bounded on the wall clock) until pred() holds; steps never hang on a thread
  // that does not come back to its wait.
  template <typename Pred>
  bool WaitForSettle(Lock& lock, std::chrono::milliseconds timeout, Pred pred);

  // Real time: the clock moves on and every notifier it passes wakes, as they come.
  void StepRunning(Lock& lock, uint64_t deltaUs);
  uint64_t NextPiece(uint64_t nowUs, uint64_t remainingUs) const;
  std::vector<NotifierPtr> BecameDue(uint64_t fromUs, uint64_t toUs) const;

  // Paused: one thread or callback at a time, by due time then creation order.
  void StepPaused(Lock& lock, uint64_t deltaUs);
  bool RunNextStarter(Lock& lock);
  Event NextEvent(uint64_t untilUs) const;
  void RunNotifierTurn(Lock& lock, const NotifierPtr& notifier);
  // Hands the turn to the thread just granted one and waits until it waits again.
  void RunGrantedTurn(Lock& lock);
  void RunCallback(Lock& lock, const CallbackPtr& callback, uint64_t nowUs);

  CallbackPtr EarliestCallback() const;
  void StartCallbackThreadLocked();
  void CallbackThreadLoop();

  mutable std::mutex m_mutex;
  std::condition_variable m_waitCv;      // waiters in WaitForAlarm and held starters
  std::condition_variable m_settleCv;    // a step waiting for threads to park
  std::condition_variable m_callbackCv;  // the real-time callback thread, cancellers
  std::mutex m_stepMutex;                // one step at a time
  const SteadyClock::time_point m_origin;
  bool m_paused = false;
  uint64_t m_pausedUs = 0;
  uint64_t m_offsetUs = 0;  // simulated = real elapsed + offset (modulo 2^64)
  int m_blockedSafeThreads = 0;
  std::map<HAL_NotifierHandle, NotifierPtr> m_notifiers;
  HAL_NotifierHandle m_nextHandle = 1;
  uint64_t m_nextOrder = 1;
  std::vector<StarterPtr> m_starters;
  bool m_turnTaken = false;  // a thread runs its turn of a paused step
  std::thread::id m_turnThread;
  std::map<int32_t, CallbackPtr> m_callbacks;
  int32_t m_nextCallbackHandle = 1;
  int m_runningCallbacks = 0;
  bool m_callbackThreadStarted = false;
};

}  // namespace hal
