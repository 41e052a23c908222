// The notifier calls of the simulated clock and the waits of their threads
// (see Timing.h).
#include <algorithm>

#include "Timing.h"
#include "wpi/SafeThread.h"

namespace hal {

HAL_NotifierHandle Timing::CreateNotifier() {
  std::lock_guard<std::mutex> lock(m_mutex);
  const HAL_NotifierHandle handle = m_notifiers.Create(m_nextOrder);
  if (handle != HAL_kInvalidHandle) ++m_nextOrder;
  return handle;
}

template <typename Change>
bool Timing::ChangeNotifier(HAL_NotifierHandle handle, Change change) {
  std::lock_guard<std::mutex> lock(m_mutex);
  NotifierPtr notifier = m_notifiers.Find(handle);
  if (!notifier) return false;
  change(*notifier);
  notifier->wake.notify_all();
  // A paused step waits for turns, which an alarm does not change; a running
  // step also waits for due alarms to be taken.
  if (!m_clock.IsPaused() || notifier->stopped) m_settleCv.notify_all();
  return true;
}

bool Timing::UpdateAlarm(HAL_NotifierHandle handle, uint64_t triggerUs) {
  return ChangeNotifier(handle, [&](Notifier& notifier) {
    if (notifier.stopped) return;  // a stopped notifier stays stopped
    notifier.triggerUs = triggerUs;
    notifier.alarmSet = true;
  });
}

bool Timing::CancelAlarm(HAL_NotifierHandle handle) {
  return ChangeNotifier(handle, [](Notifier& notifier) { notifier.alarmSet = false; });
}

bool Timing::StopNotifier(HAL_NotifierHandle handle) {
  return ChangeNotifier(handle, [&](Notifier& notifier) {
    notifier.Stop();
    WithdrawUnclaimedTurn(notifier);
  });
}

bool Timing::CleanNotifier(HAL_NotifierHandle handle) {
  return ChangeNotifier(handle, [&](Notifier& notifier) {
    // Waiters keep their own reference and see it stopped.
    notifier.Stop();
    WithdrawUnclaimedTurn(notifier);
    m_notifiers.Erase(handle);
  });
}

bool Timing::IsParked(const Notifier& notifier, uint64_t nowUs) const {
  if (notifier.stopped) return true;
  // Paused, a blocked waiter wakes only when a step gives it its turn.
  return notifier.waiters > 0 && (m_clock.IsPaused() || !notifier.IsDue(nowUs));
}

bool Timing::AllParked(const std::vector<NotifierPtr>& notifiers) const {
  const uint64_t nowUs = m_clock.Now();
  return std::all_of(notifiers.begin(), notifiers.end(),
                     [&](const NotifierPtr& n) { return IsParked(*n, nowUs); });
}

void Timing::BlockWaiter(Lock& lock, Notifier& notifier, uint64_t nowUs) {
  if (m_clock.IsPaused() || !notifier.alarmSet) {
    notifier.wake.wait(lock);
    return;
  }
  // Not due, so triggerUs > nowUs; in real time the simulated and wall clocks run alike.
  uint64_t remainingUs = std::min(notifier.triggerUs - nowUs, kMaxTimedWaitUs);
  notifier.wake.wait_for(lock, std::chrono::microseconds(remainingUs));
}

void Timing::ReleaseTurn() {
  m_turn.Release();
  m_settleCv.notify_all();
}

void Timing::WithdrawUnclaimedTurn(Notifier& notifier) {
  if (!notifier.granted) return;
  notifier.granted = false;
  if (m_turn.IsUnclaimed()) ReleaseTurn();
}

uint64_t Timing::WaitForAlarm(HAL_NotifierHandle handle, bool* valid) {
  Lock lock(m_mutex);
  NotifierPtr notifier = m_notifiers.Find(handle);
  *valid = notifier != nullptr;
  if (!notifier) return 0;
  const bool isSafeThread = wpi::detail::IsCurrentThreadSafeThread();
  // Once blocked in this call, a paused thread wakes only for its turn; a thread that
  // arrives with its alarm already passed (or holds the turn) returns at once.
  bool blocked = false;
  while (true) {
    if (notifier->stopped || wpi::detail::IsCurrentSafeThreadStopping()) {
      WithdrawUnclaimedTurn(*notifier);
      if (m_turn.IsHeldByCaller()) ReleaseTurn();
      return 0;
    }
    const uint64_t nowUs = m_clock.Now();
    if (notifier->granted) {
      notifier->granted = false;
      notifier->alarmSet = false;
      m_turn.Take();
      return nowUs;
    }
    if (notifier->IsDue(nowUs) && (!m_clock.IsPaused() || !blocked || m_turn.IsHeldByCaller())) {
      notifier->alarmSet = false;  // one-shot
      return nowUs;
    }
    if (m_turn.IsHeldByCaller()) ReleaseTurn();
    blocked = true;
    ++notifier->waiters;
    if (isSafeThread) ++m_blockedSafeThreads;
    m_settleCv.notify_all();
    BlockWaiter(lock, *notifier, nowUs);
    if (isSafeThread) --m_blockedSafeThreads;
    --notifier->waiters;
  }
}

}  // namespace hal
