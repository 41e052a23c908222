// The simulated FPGA clock and notifiers. Real time by default; paused, the clock
// moves only through Step, which hands control to each notifier thread whose alarm
// comes due and waits until that thread is back in its wait.
#include "Timing.h"

#include <algorithm>
#include <limits>

#include "wpi/SafeThread.h"

namespace hal {

namespace {

// How long a step waits (wall clock) for a thread to come back to its notifier wait.
constexpr std::chrono::milliseconds kSettleTimeout{1000};
// Longest single timed wait of a real-time waiter; it re-checks the clock after it.
constexpr uint64_t kMaxTimedWaitUs = 10'000'000;

}  // namespace

Timing& Timing::Get() {
  static Timing* timing = new Timing;
  return *timing;
}

Timing::Timing() : m_origin(SteadyClock::now()) {}

uint64_t Timing::RealElapsedUs() const {
  auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(SteadyClock::now() - m_origin);
  return static_cast<uint64_t>(elapsed.count());
}

uint64_t Timing::NowLocked() const {
  return m_paused ? m_pausedUs : RealElapsedUs() + m_offsetUs;
}

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
}

void Timing::Resume() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_paused) return;
  // Continue from the frozen value: unsigned arithmetic wraps consistently.
  m_offsetUs = m_pausedUs - RealElapsedUs();
  m_paused = false;
  m_waitCv.notify_all();
}

bool Timing::IsPaused() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_paused;
}

void Timing::WakeAll() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_waitCv.notify_all();
  m_settleCv.notify_all();
}

HAL_NotifierHandle Timing::CreateNotifier() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_nextHandle == std::numeric_limits<HAL_NotifierHandle>::max()) return HAL_kInvalidHandle;
  HAL_NotifierHandle handle = m_nextHandle++;  // never reused, so stale handles stay invalid
  m_notifiers.emplace(handle, std::make_shared<Notifier>());
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
  m_notifiers.erase(handle);
  m_waitCv.notify_all();
  m_settleCv.notify_all();
  return true;
}

bool Timing::IsDue(const Notifier& notifier, uint64_t nowUs) const {
  return notifier.alarmSet && notifier.triggerUs <= nowUs;
}

bool Timing::IsParked(const Notifier& notifier, uint64_t nowUs) const {
  return notifier.stopped || (notifier.waiters > 0 && !IsDue(notifier, nowUs));
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

uint64_t Timing::WaitForAlarm(HAL_NotifierHandle handle, bool* valid) {
  Lock lock(m_mutex);
  NotifierPtr notifier = Find(handle);
  *valid = notifier != nullptr;
  if (!notifier) return 0;
  const bool isSafeThread = wpi::detail::IsCurrentThreadSafeThread();
  while (true) {
    if (notifier->stopped || wpi::detail::IsCurrentSafeThreadStopping()) return 0;
    uint64_t nowUs = NowLocked();
    if (IsDue(*notifier, nowUs)) {
      notifier->alarmSet = false;  // one-shot
      return nowUs;
    }
    ++notifier->waiters;
    if (isSafeThread) ++m_blockedSafeThreads;
    m_settleCv.notify_all();
    BlockWaiter(lock, *notifier, nowUs);
    if (isSafeThread) --m_blockedSafeThreads;
    --notifier->waiters;
  }
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
  // Every running SafeThread is blocked in a notifier wait (a thread that has just
  // started counts as not yet parked; one that ended no longer counts).
  return wpi::detail::GetRunningSafeThreadCount() <= m_blockedSafeThreads;
}

template <typename Pred>
void Timing::WaitForSettle(Lock& lock, Pred pred) {
  m_settleCv.wait_for(lock, kSettleTimeout, pred);
}

uint64_t Timing::NextPiece(uint64_t nowUs, uint64_t remainingUs) const {
  uint64_t piece = remainingUs;
  for (const auto& entry : m_notifiers) {
    const Notifier& n = *entry.second;
    if (n.alarmSet && !n.stopped && n.triggerUs > nowUs) piece = std::min(piece, n.triggerUs - nowUs);
  }
  return piece;
}

void Timing::Advance(uint64_t deltaUs) {
  if (m_paused) {
    m_pausedUs += deltaUs;
  } else {
    m_offsetUs += deltaUs;
  }
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
  WaitForSettle(lock, [&] { return AllParked(LiveNotifiers()) && SafeThreadsParked(); });
  uint64_t remainingUs = deltaUs;
  do {
    uint64_t fromUs = NowLocked();
    uint64_t pieceUs = NextPiece(fromUs, remainingUs);
    Advance(pieceUs);
    remainingUs -= pieceUs;
    std::vector<NotifierPtr> woken = BecameDue(fromUs, NowLocked());
    if (woken.empty()) continue;
    m_waitCv.notify_all();
    WaitForSettle(lock, [&] { return AllParked(woken); });
  } while (remainingUs > 0);
}

}  // namespace hal
