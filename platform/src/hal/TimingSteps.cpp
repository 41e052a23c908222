// The step scheduler of the simulated clock (see Timing.h): a running step
// moves the clock on alarm by alarm and lets the woken threads come back to
// their waits; a paused step hands the turn to one starting thread, notifier
// thread or timed callback at a time, the earliest due first.
#include <algorithm>

#include "Timing.h"
#include "wpi/SafeThread.h"

namespace hal {

namespace {

// How long a step waits (wall clock) for the threads to come to their waits before it
// starts, and for one thread's turn; a thread that never waits cannot hang a step.
constexpr std::chrono::milliseconds kSettleTimeout{1000};
constexpr std::chrono::milliseconds kTurnTimeout{5000};

}  // namespace

bool Timing::SafeThreadsParked() const {
  // Every running SafeThread is blocked in a notifier wait or held before its first
  // move (a thread that has just started counts as not yet parked; one that ended no
  // longer counts).
  return wpi::detail::GetRunningSafeThreadCount() <= m_blockedSafeThreads;
}

bool Timing::Settled() const {
  return !m_turn.IsTaken() && m_runningCallbacks == 0 && SafeThreadsParked();
}

template <typename Pred>
bool Timing::WaitForSettle(Lock& lock, std::chrono::milliseconds timeout, Pred pred) {
  return m_settleCv.wait_for(lock, timeout, pred);
}

void Timing::Step(uint64_t deltaUs) {
  std::lock_guard<std::mutex> stepLock(m_stepMutex);
  Lock lock(m_mutex);
  if (m_clock.IsPaused()) {
    StepPaused(lock, deltaUs);
  } else {
    StepRunning(lock, deltaUs);
  }
}

void Timing::StepRunning(Lock& lock, uint64_t deltaUs) {
  WaitForSettle(lock, kSettleTimeout,
                [&] { return AllParked(m_notifiers.Live()) && SafeThreadsParked(); });
  uint64_t remainingUs = deltaUs;
  do {
    const uint64_t fromUs = m_clock.Now();
    const uint64_t pieceUs = m_notifiers.UntilNextAlarm(fromUs, remainingUs);
    m_clock.Advance(pieceUs);
    remainingUs -= pieceUs;
    m_callbackCv.notify_all();
    std::vector<NotifierPtr> woken = m_notifiers.BecameDue(fromUs, m_clock.Now());
    if (woken.empty()) continue;
    for (const NotifierPtr& notifier : woken) notifier->wake.notify_all();
    WaitForSettle(lock, kSettleTimeout, [&] { return AllParked(woken); });
  } while (remainingUs > 0);
}

void Timing::StepPaused(Lock& lock, uint64_t deltaUs) {
  // Threads that ran freely before the pause, or were started since, first come to
  // their waits (or to the hold before their first move).
  WaitForSettle(lock, kSettleTimeout, [&] { return AllParked(m_notifiers.Live()) && Settled(); });
  const uint64_t targetUs = m_clock.Now() + deltaUs;
  while (m_clock.IsPaused()) {
    if (RunNextStarter(lock)) continue;
    const Event event = NextEvent(targetUs);
    if (!event) break;
    m_clock.MoveForwardTo(event.timeUs);
    if (event.notifier) {
      // The waiter (or the thread that comes to wait) claims the turn and gives it
      // back when it waits again or ends.
      event.notifier->granted = true;
      RunGrantedTurn(lock, event.notifier->wake);
    } else {
      RunCallback(lock, event.callback, m_clock.Now());
    }
  }
  if (m_clock.IsPaused()) m_clock.MoveForwardTo(targetUs);
}

bool Timing::RunNextStarter(Lock& lock) {
  StarterPtr first;
  m_starters.ForEach([&](const StarterPtr& starter) {
    if (!starter->granted && (!first || starter->sequence < first->sequence)) first = starter;
  });
  if (!first) return false;
  first->granted = true;
  RunGrantedTurn(lock, first->wake);
  return true;
}

Timing::Event Timing::NextEvent(uint64_t untilUs) const {
  Event next;
  const uint64_t nowUs = m_clock.Now();
  auto consider = [&](uint64_t dueUs, uint64_t order, const NotifierPtr& n, const CallbackPtr& c) {
    const uint64_t timeUs = std::max(dueUs, nowUs);  // a passed alarm fires now
    if (timeUs > untilUs) return;
    if (next && (timeUs > next.timeUs || (timeUs == next.timeUs && order > next.order))) return;
    next.timeUs = timeUs;
    next.order = order;
    next.notifier = n;
    next.callback = c;
  };
  m_notifiers.ForEach([&](const NotifierPtr& n) {
    if (n->IsArmed() && !n->granted) consider(n->triggerUs, n->order, n, nullptr);
  });
  m_callbacks.ForEach([&](const CallbackPtr& c) {
    if (c->IsWaiting()) consider(c->nextUs, c->order, nullptr, c);
  });
  return next;
}

void Timing::RunGrantedTurn(Lock& lock, std::condition_variable& grantee) {
  m_turn.Offer();  // claimed by the granted thread when it wakes
  grantee.notify_all();
  if (!WaitForSettle(lock, kTurnTimeout, [&] { return Settled(); })) m_turn.Release();
}

}  // namespace hal
