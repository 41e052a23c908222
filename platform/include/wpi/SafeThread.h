// Threads with a cooperative stop flag (SafeThread) and their owners
// (SafeThreadOwner), which stop and join them.
#pragma once

#include <stdint.h>

#include <atomic>
#include <memory>
#include <thread>
#include <utility>

#include "wpi/condition_variable.h"
#include "wpi/mutex.h"

namespace wpi {

// Base of a thread body: Main runs on the owner's thread and loops while m_active.
class SafeThread {
 public:
  virtual ~SafeThread() = default;
  virtual void Main() = 0;

  mutable wpi::mutex m_mutex;
  std::atomic_bool m_active{true};
  wpi::condition_variable m_cond;
};

namespace detail {

// Called by an owner after it clears a thread's m_active, with that thread's id, so
// that a lower layer can interrupt the thread's blocking waits (the HAL installs one:
// a notifier wait of a stopped thread returns at once). Not part of the original
// library; it lets threads blocked on a paused simulated clock end promptly.
using SafeThreadStopHook = void (*)(std::thread::id);
void SetSafeThreadStopHook(SafeThreadStopHook hook);

// Called on a new SafeThread's own thread before its Main runs, with the number
// of SafeThreads started before it in this process (the HAL installs one: while
// the simulated clock is paused, the thread waits there until a step lets it run).
using SafeThreadStartHook = void (*)(uint64_t startSequence);
void SetSafeThreadStartHook(SafeThreadStartHook hook);

// Called on a SafeThread's own thread after its Main has returned.
using SafeThreadEndHook = void (*)();
void SetSafeThreadEndHook(SafeThreadEndHook hook);

// True when the calling thread runs a SafeThread whose owner has stopped it.
bool IsCurrentSafeThreadStopping();
// True when the calling thread runs a SafeThread's Main.
bool IsCurrentThreadSafeThread();
// SafeThreads started and whose Main has not yet returned.
int GetRunningSafeThreadCount();

// Gives access to a running thread object; empty once the thread has ended.
template <typename T>
class SafeThreadProxy {
 public:
  explicit SafeThreadProxy(std::shared_ptr<SafeThread> thread) : m_thread(std::move(thread)) {}
  explicit operator bool() const { return m_thread != nullptr; }
  T& operator*() const { return *static_cast<T*>(m_thread.get()); }
  T* operator->() const { return static_cast<T*>(m_thread.get()); }

 private:
  std::shared_ptr<SafeThread> m_thread;
};

class SafeThreadOwnerBase {
 public:
  SafeThreadOwnerBase() noexcept = default;
  SafeThreadOwnerBase(const SafeThreadOwnerBase&) = delete;
  SafeThreadOwnerBase& operator=(const SafeThreadOwnerBase&) = delete;
  SafeThreadOwnerBase(SafeThreadOwnerBase&& other) noexcept;
  SafeThreadOwnerBase& operator=(SafeThreadOwnerBase&& other) noexcept;
  // Joins the thread when join-at-exit is on (the default), else stops it.
  ~SafeThreadOwnerBase();

  // Clears m_active, wakes the thread and detaches it.
  void Stop();
  // Clears m_active, wakes the thread and waits for it to end.
  void Join();
  void SetJoinAtExit(bool joinAtExit) { m_joinAtExit = joinAtExit; }
  explicit operator bool() const;
  std::thread::native_handle_type GetNativeThreadHandle();

  friend void swap(SafeThreadOwnerBase& lhs, SafeThreadOwnerBase& rhs) noexcept;

 protected:
  // Runs thread->Main() on a new thread unless a started thread is still alive.
  void Start(const std::shared_ptr<SafeThread>& thread);
  std::shared_ptr<SafeThread> GetThreadBase() const;

 private:
  // Takes the running thread away from this owner and tells it to stop.
  std::thread Release();

  mutable wpi::mutex m_mutex;
  std::thread m_stdThread;
  std::weak_ptr<SafeThread> m_thread;
  std::atomic_bool m_joinAtExit{true};
};

void swap(SafeThreadOwnerBase& lhs, SafeThreadOwnerBase& rhs) noexcept;

}  // namespace detail

template <typename T>
class SafeThreadOwner : public detail::SafeThreadOwnerBase {
 public:
  using Proxy = detail::SafeThreadProxy<T>;

  template <typename... Args>
  void Start(Args&&... args) {
    detail::SafeThreadOwnerBase::Start(std::make_shared<T>(std::forward<Args>(args)...));
  }

  Proxy GetThread() const { return Proxy(GetThreadBase()); }
};

}  // namespace wpi
