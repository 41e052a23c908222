// The simulated FPGA clock, notifiers and timed callbacks. Real time by default.
// Paused, the clock moves only through Step, and the threads that wait on it run
// only inside a step, one at a time: a SafeThread started while paused, then each
// notifier thread or timed callback that comes due, by due time and then by
// creation order, each until it waits again. So a stepped run depends only on the
// program's calls and steps, never on how the operating system schedules threads.
#include "Timing.h"

#include <algorithm>
#include <limits>

#include "wpi/SafeThread.h"

namespace hal {

namespace {

// How long a step waits (wall clock) for the threads to come to their waits before it
// starts, and for one thread's turn; a thread that never waits cannot hang a step.
constexpr std::chrono::milliseconds kSettleTimeout{1000};
constexpr std::chrono::milliseconds kTurnTimeout{5000};
// Longest single timed wait of a real-time waiter; it re-checks the clock after it.
constexpr uint64_t kMaxTimedWaitUs = 10'000'000;

}  // namespace

Timing& Timing::Get() {
  static Timing* timing = new Timing;
  return *timing;
}

Timing::Timing() : m_origin(SteadyClock::now()) {}

uint64_t Timing::RealElapsedUs() const {
  auto elapsed =
      std::chrono::duration_cast<std::chrono::microseconds>(SteadyClock::now() - m_origin);
  return static_cast<uint64_t>(elapsed.count());
}

uint64_t Timing::NowLocked() const { return m_paused ? m_pausedUs : RealElapsedUs() + m_offsetUs; }

uint64_t Timing::Now() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return NowLocked();
}

void Timing::Pause() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_paused) return;
  m_pausedUs = NowLocked();
  m_paused = true;
  m_waitCv.notify_all();
  m_callbackCv.notify_all();
}

void Timing::Resume() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_paused) return;
  // Continue from the frozen value: unsigned arithmetic wraps consistently.
  m_offsetUs = m_pausedUs - RealElapsedUs();
  m_paused = false;
  m_waitCv.notify_all();
  m_callbackCv.notify_all();
}

void Timing::Restart() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_paused = true;
  m_pausedUs = 0;
  m_waitCv.notify_all();
  m_callbackCv.notify_all();
}

bool Timing::IsPaused() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_paused;
}

void Timing::WakeAll() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_waitCv.notify_all();
  m_settleCv.notify_all();
  m_callbackCv.notify_all();
}

HAL_NotifierHandle Timing::CreateNotifier() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_nextHandle == std::numeric_limits<HAL_NotifierHandle>::max()) return HAL_kInvalidHandle;
  HAL_NotifierHandle handle = m_nextHandle++;  // never reused, so stale handles stay invalid
  auto notifier = std::make_shared<Notifier>();
  notifier->order = m_nextOrder++;
  m_notifiers.emplace(handle, std::move(notifier));
  return handle;
}

Timing::NotifierPtr Timing::Find(HAL_NotifierHandle handle) const {
  auto found = m_notifiers.find(handle);
  return found == m_notifiers.end() ? nullptr : found->second;
}

bool Timing::UpdateAlarm(HAL_NotifierHandle handle, uint64_t triggerUs) {
  std::lock_guard<std::mutex> lock(m_mutex);
  NotifierPtr notifier = Find(handle);
  if (!notifier) return false;
  if (notifier->stopped) return true;  // a stopped notifier stays stopped
  notifier->triggerUs = triggerUs;
  notifier->alarmSet = true;
  m_waitCv.notify_all();
  m_settleCv.notify_all();
  return true;
}

bool Timing::CancelAlarm(HAL_NotifierHandle handle) {
  std::lock_guard<std::mutex> lock(m_mutex);
  NotifierPtr notifier = Find(handle);
  if (!notifier) return false;
  notifier->alarmSet = false;
  m_waitCv.notify_all();
  m_settleCv.notify_all();
  return true;
}

bool Timing::StopNotifier(HAL_NotifierHandle handle) {
  std::lock_guard<std::mutex> lock(m_mutex);
  NotifierPtr notifier = Find(handle);
  if (!notifier) return false;
  notifier->stopped = true;
  notifier->alarmSet = false;
  WithdrawUnclaimedTurn(*notifier);
  m_waitCv.notify_all();
  m_settleCv.notify_all();
  return true;
}

bool Timing::CleanNotifier(HAL_NotifierHandle handle) {
  std::lock_guard<std::mutex> lock(m_mutex);
  NotifierPtr notifier = Find(handle);
  if (!notifier) return false;
  // Waiters keep their own reference and see it stopped.
  notifier->stopped = true;
  notifier->alarmSet = false;
  WithdrawUnclaimedTurn(*notifier);
  m_notifiers.erase(handle);
  m_waitCv.notify_all();
  m_settleCv.notify_all();
  return true;
}

bool Timing::IsDue(const Notifier& notifier, uint64_t nowUs) const {
  return notifier.alarmSet && notifier.triggerUs <= nowUs;
}

bool Timing::IsParked(const Notifier& notifier, uint64_t nowUs) const {
  if (notifier.stopped) return true;
  // Paused, a blocked waiter wakes only when a step gives it its turn.
  return notifier.waiters > 0 && (m_paused || !IsDue(notifier, nowUs));
}

void Timing::BlockWaiter(Lock& lock, const Notifier& notifier, uint64_t nowUs) {
  if (m_paused || !notifier.alarmSet) {
    m_waitCv.wait(lock);
    return;
  }
  // Not due, so triggerUs > nowUs; in real time the simulated and wall clocks run alike.
  uint64_t remainingUs = std::min(notifier.triggerUs - nowUs, kMaxTimedWaitUs);
  m_waitCv.wait_for(lock, std::chrono::microseconds(remainingUs));
}

bool Timing::HoldsTurn() const { return m_turnTaken && m_turnThread == std::this_thread::get_id(); }

void Timing::TakeTurn() {
  m_turnTaken = true;
  m_turnThread = std::this_thread::get_id();
}

void Timing::ReleaseTurn() {
  m_turnTaken = false;
  m_turnThread = std::thread::id();
  m_settleCv.notify_all();
}

void Timing::WithdrawUnclaimedTurn(Notifier& notifier) {
  if (!notifier.granted) return;
  notifier.granted = false;
  if (m_turnTaken && m_turnThread == std::thread::id()) ReleaseTurn();
}

uint64_t Timing::WaitForAlarm(HAL_NotifierHandle handle, bool* valid) {
  Lock lock(m_mutex);
  NotifierPtr notifier = Find(handle);
  *valid = notifier != nullptr;
  if (!notifier) return 0;
  const bool isSafeThread = wpi::detail::IsCurrentThreadSafeThread();
  // Once blocked in this call, a paused thread wakes only for its turn; a thread that
  // arrives with its alarm already passed (or holds the turn) returns at once.
  bool blocked = false;
  while (true) {
    if (notifier->stopped || wpi::detail::IsCurrentSafeThreadStopping()) {
      WithdrawUnclaimedTurn(*notifier);
      if (HoldsTurn()) ReleaseTurn();
      return 0;
    }
    const uint64_t nowUs = NowLocked();
    if (notifier->granted) {
      notifier->granted = false;
      notifier->alarmSet = false;
      TakeTurn();
      return nowUs;
    }
    if (IsDue(*notifier, nowUs) && (!m_paused || !blocked || HoldsTurn())) {
      notifier->alarmSet = false;  // one-shot
      return nowUs;
    }
    if (HoldsTurn()) ReleaseTurn();
    blocked = true;
    ++notifier->waiters;
    if (isSafeThread) ++m_blockedSafeThreads;
    m_settleCv.notify_all();
    BlockWaiter(lock, *notifier, nowUs);
    if (isSafeThread) --m_blockedSafeThreads;
    --notifier->waiters;
  }
}

void Timing::HoldStartingThread(uint64_t startSequence) {
  Lock lock(m_mutex);
  if (!m_paused) return;
  auto starter = std::make_shared<Starter>();
  starter->sequence = startSequence;
  m_starters.push_back(starter);
  ++m_blockedSafeThreads;
  m_settleCv.notify_all();
  m_waitCv.wait(lock, [&] {
    return starter->granted || !m_paused || wpi::detail::IsCurrentSafeThreadStopping();
  });
  --m_blockedSafeThreads;
  m_starters.erase(std::remove(m_starters.begin(), m_starters.end(), starter), m_starters.end());
  if (starter->granted) TakeTurn();
}

void Timing::ThreadEnded() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (HoldsTurn()) ReleaseTurn();
  m_waitCv.notify_all();
  m_settleCv.notify_all();
}

std::vector<Timing::NotifierPtr> Timing::LiveNotifiers() const {
  std::vector<NotifierPtr> live;
  for (const auto& entry : m_notifiers) live.push_back(entry.second);
  return live;
}

bool Timing::AllParked(const std::vector<NotifierPtr>& notifiers) const {
  uint64_t nowUs = NowLocked();
  return std::all_of(notifiers.begin(), notifiers.end(),
                     [&](const NotifierPtr& n) { return IsParked(*n, nowUs); });
}

bool Timing::SafeThreadsParked() const {
  // Every running SafeThread is blocked in a notifier wait or held before its first
  // move (a thread that has just started counts as not yet parked; one that ended no
  // longer counts).
  return wpi::detail::GetRunningSafeThreadCount() <= m_blockedSafeThreads;
}

bool Timing::Settled() const {
  return !m_turnTaken && m_runningCallbacks == 0 && SafeThreadsParked();
}

template <typename Pred>
bool Timing::WaitForSettle(Lock& lock, std::chrono::milliseconds timeout, Pred pred) {
  return m_settleCv.wait_for(lock, timeout, pred);
}

uint64_t Timing::NextPiece(uint64_t nowUs, uint64_t remainingUs) const {
  uint64_t piece = remainingUs;
  for (const auto& entry : m_notifiers) {
    const Notifier& n = *entry.second;
    if (n.alarmSet && !n.stopped && n.triggerUs > nowUs)
      piece = std::min(piece, n.triggerUs - nowUs);
  }
  return piece;
}

std::vector<Timing::NotifierPtr> Timing::BecameDue(uint64_t fromUs, uint64_t toUs) const {
  std::vector<NotifierPtr> due;
  for (const auto& entry : m_notifiers) {
    const Notifier& n = *entry.second;
    if (n.alarmSet && !n.stopped && n.triggerUs > fromUs && n.triggerUs <= toUs) {
      due.push_back(entry.second);
    }
  }
  return due;
}

void Timing::Step(uint64_t deltaUs) {
  std::lock_guard<std::mutex> stepLock(m_stepMutex);
  Lock lock(m_mutex);
  if (m_paused) {
    StepPaused(lock, deltaUs);
  } else {
    StepRunning(lock, deltaUs);
  }
}

void Timing::StepRunning(Lock& lock, uint64_t deltaUs) {
  WaitForSettle(lock, kSettleTimeout,
                [&] { return AllParked(LiveNotifiers()) && SafeThreadsParked(); });
  uint64_t remainingUs = deltaUs;
  do {
    uint64_t fromUs = NowLocked();
    uint64_t pieceUs = NextPiece(fromUs, remainingUs);
    m_offsetUs += pieceUs;
    remainingUs -= pieceUs;
    m_callbackCv.notify_all();
    std::vector<NotifierPtr> woken = BecameDue(fromUs, NowLocked());
    if (woken.empty()) continue;
    m_waitCv.notify_all();
    WaitForSettle(lock, kSettleTimeout, [&] { return AllParked(woken); });
  } while (remainingUs > 0);
}

void Timing::StepPaused(Lock& lock, uint64_t deltaUs) {
  // Threads that ran freely before the pause, or were started since, first come to
  // their waits (or to the hold before their first move).
  WaitForSettle(lock, kSettleTimeout, [&] { return AllParked(LiveNotifiers()) && Settled(); });
  const uint64_t targetUs = m_pausedUs + deltaUs;
  while (m_paused) {
    if (RunNextStarter(lock)) continue;
    const Event event = NextEvent(targetUs);
    if (!event) break;
    if (event.timeUs > m_pausedUs) m_pausedUs = event.timeUs;
    if (event.notifier) {
      RunNotifierTurn(lock, event.notifier);
    } else {
      RunCallback(lock, event.callback, m_pausedUs);
    }
  }
  if (m_paused && targetUs > m_pausedUs) m_pausedUs = targetUs;
}

bool Timing::RunNextStarter(Lock& lock) {
  StarterPtr first;
  for (const StarterPtr& starter : m_starters) {
    if (!starter->granted && (!first || starter->sequence < first->sequence)) first = starter;
  }
  if (!first) return false;
  first->granted = true;
  RunGrantedTurn(lock);
  return true;
}

Timing::Event Timing::NextEvent(uint64_t untilUs) const {
  Event next;
  auto consider = [&](uint64_t dueUs, uint64_t order, const NotifierPtr& n, const CallbackPtr& c) {
    const uint64_t timeUs = std::max(dueUs, m_pausedUs);  // a passed alarm fires now
    if (timeUs > untilUs) return;
    if (next && (timeUs > next.timeUs || (timeUs == next.timeUs && order > next.order))) return;
    next.timeUs = timeUs;
    next.order = order;
    next.notifier = n;
    next.callback = c;
  };
  for (const auto& entry : m_notifiers) {
    const Notifier& n = *entry.second;
    if (n.alarmSet && !n.stopped && !n.granted)
      consider(n.triggerUs, n.order, entry.second, nullptr);
  }
  for (const auto& entry : m_callbacks) {
    const TimedCallback& c = *entry.second;
    if (!c.cancelled && !c.running) consider(c.nextUs, c.order, nullptr, entry.second);
  }
  return next;
}

void Timing::RunNotifierTurn(Lock& lock, const NotifierPtr& notifier) {
  // The waiter (or the thread that comes to wait) claims the turn and gives it back
  // when it waits again or ends.
  notifier->granted = true;
  RunGrantedTurn(lock);
}

void Timing::RunGrantedTurn(Lock& lock) {
  m_turnTaken = true;  // claimed by the granted thread when it wakes
  m_turnThread = std::thread::id();
  m_waitCv.notify_all();
  if (!WaitForSettle(lock, kTurnTimeout, [&] { return Settled(); })) m_turnTaken = false;
}

void Timing::RunCallback(Lock& lock, const CallbackPtr& callback, uint64_t nowUs) {
  callback->running = true;
  callback->runningThread = std::this_thread::get_id();
  ++m_runningCallbacks;
  lock.unlock();
  const uint64_t nextUs = callback->function(callback->param, nowUs);
  lock.lock();
  callback->running = false;
  --m_runningCallbacks;
  if (nextUs == 0 || callback->cancelled) {
    m_callbacks.erase(callback->handle);
  } else {
    // A callback asking for a time not after now would run again at the same instant.
    callback->nextUs = nextUs > nowUs ? nextUs : nowUs + 1;
  }
  m_callbackCv.notify_all();
  m_settleCv.notify_all();
}

int32_t Timing::RegisterTimedCallback(uint64_t firstUs, HALSIM_TimedCallback function,
                                      void* param) {
  if (function == nullptr) return 0;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_nextCallbackHandle == std::numeric_limits<int32_t>::max()) return 0;
  auto callback = std::make_shared<TimedCallback>();
  callback->handle = m_nextCallbackHandle++;
  callback->order = m_nextOrder++;
  callback->nextUs = firstUs;
  callback->function = function;
  callback->param = param;
  m_callbacks.emplace(callback->handle, callback);
  if (!m_callbackThreadStarted) StartCallbackThreadLocked();
  m_callbackCv.notify_all();
  return callback->handle;
}

void Timing::CancelTimedCallback(int32_t handle) {
  Lock lock(m_mutex);
  auto found = m_callbacks.find(handle);
  if (found == m_callbacks.end()) return;
  CallbackPtr callback = found->second;
  callback->cancelled = true;
  // After this returns the callback neither runs nor will run, unless it cancels itself.
  m_callbackCv.wait(lock, [&] {
    return !callback->running || callback->runningThread == std::this_thread::get_id();
  });
  if (!callback->running) m_callbacks.erase(handle);
}

void Timing::StartCallbackThreadLocked() {
  m_callbackThreadStarted = true;
  // Real time only; paused, steps run the callbacks. Lives as long as the process,
  // like this object, and touches nothing else when idle.
  std::thread([this] { CallbackThreadLoop(); }).detach();
}

Timing::CallbackPtr Timing::EarliestCallback() const {
  CallbackPtr earliest;
  for (const auto& entry : m_callbacks) {
    const CallbackPtr& c = entry.second;
    if (c->cancelled || c->running) continue;
    if (!earliest || c->nextUs < earliest->nextUs) earliest = c;
  }
  return earliest;
}

void Timing::CallbackThreadLoop() {
  Lock lock(m_mutex);
  while (true) {
    CallbackPtr next = m_paused ? nullptr : EarliestCallback();
    if (!next) {
      m_callbackCv.wait(lock);
      continue;
    }
    const uint64_t nowUs = NowLocked();
    if (next->nextUs <= nowUs) {
      RunCallback(lock, next, nowUs);
      continue;
    }
    const uint64_t remainingUs = std::min(next->nextUs - nowUs, kMaxTimedWaitUs);
    m_callbackCv.wait_for(lock, std::chrono::microseconds(remainingUs));
  }
}

}  // namespace hal
