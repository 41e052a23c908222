// The simulated FPGA clock with the notifiers that wait on it and the timed
// callbacks that run on it, as one process-wide object under one mutex. The
// state of each job lives in its own part (SimClock, NotifierTable,
// CallbackTable, the held starters, the Turn of a paused step); this class
// owns the lock and the waits that join them, one file per job:
//   Timing.cpp           the clock's controls and the SafeThread hooks,
//   TimingNotifiers.cpp  the notifier calls and the waits of their threads,
//   TimingCallbacks.cpp  the timed callbacks and their real-time thread,
//   TimingSteps.cpp      the step scheduler (paused and running steps).
#pragma once

#include <stdint.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "CallbackTable.h"
#include "HandleTable.h"
#include "NotifierTable.h"
#include "SimClock.h"
#include "hal/Types.h"
#include "hal/simulation/MockHooks.h"

namespace hal {

// The token of a paused step: one thread at a time holds it and runs. A step
// offers it to the thread it grants a turn; that thread takes it when it
// wakes and releases it when it waits again or ends.
class Turn {
 public:
  bool IsTaken() const { return m_taken; }
  bool IsHeldByCaller() const { return m_taken && m_thread == std::this_thread::get_id(); }
  bool IsUnclaimed() const { return m_taken && m_thread == std::thread::id(); }
  void Offer() {
    m_taken = true;
    m_thread = std::thread::id();
  }
  void Take() {
    m_taken = true;
    m_thread = std::this_thread::get_id();
  }
  void Release() {
    m_taken = false;
    m_thread = std::thread::id();
  }

 private:
  bool m_taken = false;
  std::thread::id m_thread;
};

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
  using Lock = std::unique_lock<std::mutex>;
  using NotifierPtr = NotifierTable::Ptr;
  using CallbackPtr = CallbackTable::Ptr;

  // A SafeThread started while paused, waiting for its first turn.
  struct Starter {
    uint64_t sequence = 0;
    bool granted = false;
    std::condition_variable wake;
  };
  using StarterPtr = std::shared_ptr<Starter>;

  // The next thing a paused step runs: a notifier's thread or a callback.
  struct Event {
    uint64_t timeUs = 0;
    uint64_t order = 0;
    NotifierPtr notifier;
    CallbackPtr callback;
    explicit operator bool() const { return notifier || callback; }
  };

  // Longest single timed wait of a real-time waiter; it re-checks the clock after it.
  static constexpr uint64_t kMaxTimedWaitUs = 10'000'000;

  Timing() = default;

  // Clock controls: both kinds of waiter see the change.
  void NotifyClockChanged();
  // Every notifier waiter and held starter looks again (clock changes, stops, ends).
  void WakeAllWaiters();

  // Notifiers (TimingNotifiers.cpp). The alarm calls: find, change, wake; false
  // for an unknown handle.
  template <typename Change>
  bool ChangeNotifier(HAL_NotifierHandle handle, Change change);
  bool IsParked(const Notifier& notifier, uint64_t nowUs) const;
  bool AllParked(const std::vector<NotifierPtr>& notifiers) const;
  void BlockWaiter(Lock& lock, Notifier& notifier, uint64_t nowUs);
  // A turn granted to a notifier that nobody claimed yet goes back when it stops.
  void WithdrawUnclaimedTurn(Notifier& notifier);
  void ReleaseTurn();

  // Timed callbacks (TimingCallbacks.cpp).
  void RunCallback(Lock& lock, const CallbackPtr& callback, uint64_t nowUs);
  void StartCallbackThreadLocked();
  void CallbackThreadLoop();

  // Step scheduling (TimingSteps.cpp).
  bool SafeThreadsParked() const;
  bool Settled() const;
  // Waits (bounded on the wall clock) until pred() holds; steps never hang on a thread
  // that does not come back to its wait.
  template <typename Pred>
  bool WaitForSettle(Lock& lock, std::chrono::milliseconds timeout, Pred pred);
  // Real time: the clock moves on and every notifier it passes wakes, as they come.
  void StepRunning(Lock& lock, uint64_t deltaUs);
  // Paused: one thread or callback at a time, by due time then creation order.
  void StepPaused(Lock& lock, uint64_t deltaUs);
  bool RunNextStarter(Lock& lock);
  Event NextEvent(uint64_t untilUs) const;
  // Hands the turn to the thread just granted one (woken through `grantee`) and
  // waits until it waits again.
  void RunGrantedTurn(Lock& lock, std::condition_variable& grantee);

  mutable std::mutex m_mutex;
  std::condition_variable m_settleCv;    // a step waiting for threads to park
  std::condition_variable m_callbackCv;  // the real-time callback thread, cancellers
  std::mutex m_stepMutex;                // one step at a time
  SimClock m_clock;
  NotifierTable m_notifiers;
  CallbackTable m_callbacks;
  HandleTable<uint64_t, Starter> m_starters;
  Turn m_turn;
  uint64_t m_nextOrder = 1;  // creation order of notifiers and callbacks together
  int m_blockedSafeThreads = 0;
  int m_runningCallbacks = 0;
  bool m_callbackThreadStarted = false;
};

}  // namespace hal
