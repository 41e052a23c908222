// The simulated FPGA clock, notifiers and timed callbacks. Real time by default.
// Paused, the clock moves only through Step, and the threads that wait on it run
// only inside a step, one at a time: a SafeThread started while paused, then each
// notifier thread or timed callback that comes due, by due time and then by
// creation order, each until it waits again. So a stepped run depends only on the
// program's calls and steps, never on how the operating system schedules threads.
// This file: the clock's controls and the SafeThread hooks.
#include "Timing.h"

#include "wpi/SafeThread.h"

namespace hal {

Timing& Timing::Get() {
  static Timing* timing = new Timing;
  return *timing;
}

uint64_t Timing::Now() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_clock.Now();
}

bool Timing::IsPaused() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_clock.IsPaused();
}

void Timing::WakeAllWaiters() {
  m_notifiers.ForEach([](const NotifierPtr& notifier) { notifier->wake.notify_all(); });
  m_starters.ForEach([](const StarterPtr& starter) { starter->wake.notify_all(); });
}

void Timing::NotifyClockChanged() {
  WakeAllWaiters();
  m_callbackCv.notify_all();
}

void Timing::Pause() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_clock.Pause()) NotifyClockChanged();
}

void Timing::Resume() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_clock.Resume()) NotifyClockChanged();
}

void Timing::Restart() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_clock.Restart();
  NotifyClockChanged();
}

void Timing::WakeAll() {
  std::lock_guard<std::mutex> lock(m_mutex);
  WakeAllWaiters();
  m_settleCv.notify_all();
  m_callbackCv.notify_all();
}

void Timing::HoldStartingThread(uint64_t startSequence) {
  Lock lock(m_mutex);
  if (!m_clock.IsPaused()) return;
  auto starter = std::make_shared<Starter>();
  starter->sequence = startSequence;
  const uint64_t handle = m_starters.Add(starter);
  ++m_blockedSafeThreads;
  m_settleCv.notify_all();
  starter->wake.wait(lock, [&] {
    return starter->granted || !m_clock.IsPaused() || wpi::detail::IsCurrentSafeThreadStopping();
  });
  --m_blockedSafeThreads;
  m_starters.Erase(handle);
  if (starter->granted) m_turn.Take();
}

void Timing::ThreadEnded() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_turn.IsHeldByCaller()) ReleaseTurn();
  WakeAllWaiters();
  m_settleCv.notify_all();
}

}  // namespace hal
