// The driver's loop threads wait on a HAL notifier. Their owners stop that
// notifier as well as the thread: while simulated time is paused, a thread
// blocked in its notifier wait never sees an ordinary stop, and joining it at
// exit (or at unload) would hang.
#pragma once

#include <atomic>

#include <hal/Types.h>
#include <wpi/SafeThread.h>

namespace zem::driver {

class PacedThread : public wpi::SafeThread {
 public:
  // On the thread itself: the notifier it now waits on (HAL_kInvalidHandle: none).
  void SetNotifier(HAL_NotifierHandle handle) { m_notifier.store(handle); }
  // From the owner: ends the loop and the wait it is in. Thread-safe.
  void EndLoop();

 private:
  std::atomic<HAL_NotifierHandle> m_notifier{HAL_kInvalidHandle};
};

// Joins its thread on destruction as wpi::SafeThreadOwner does, after ending
// the thread's loop and notifier wait.
template <typename T>
class PacedThreadOwner : public wpi::SafeThreadOwner<T> {
 public:
  PacedThreadOwner() = default;
  ~PacedThreadOwner() {
    if (auto thread = this->GetThread()) thread->EndLoop();
  }
  PacedThreadOwner(const PacedThreadOwner&) = delete;
  PacedThreadOwner& operator=(const PacedThreadOwner&) = delete;
  PacedThreadOwner(PacedThreadOwner&&) = delete;
  PacedThreadOwner& operator=(PacedThreadOwner&&) = delete;
};

}  // namespace zem::driver
