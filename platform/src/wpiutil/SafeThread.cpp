// Owners of SafeThreads: start once, stop (detach) or join, and tell the HAL which
// thread is being stopped so that its blocking waits end.
#include "wpi/SafeThread.h"

#include <atomic>

namespace wpi {
namespace detail {

namespace {

std::atomic<SafeThreadStopHook> gStopHook{nullptr};
std::atomic<SafeThreadStartHook> gStartHook{nullptr};
std::atomic<SafeThreadEndHook> gEndHook{nullptr};
std::atomic<uint64_t> gStartSequence{0};
std::atomic<int> gRunningThreads{0};

// The stop flag of the SafeThread that the calling thread runs, if any.
thread_local const std::atomic_bool* tCurrentActiveFlag = nullptr;

void RunThreadMain(const std::shared_ptr<SafeThread>& thread, uint64_t startSequence) {
  tCurrentActiveFlag = &thread->m_active;
  if (SafeThreadStartHook hook = gStartHook.load()) hook(startSequence);
  thread->Main();
  tCurrentActiveFlag = nullptr;
  gRunningThreads.fetch_sub(1);
  if (SafeThreadEndHook hook = gEndHook.load()) hook();
}

}  // namespace

void SetSafeThreadStopHook(SafeThreadStopHook hook) { gStopHook.store(hook); }

void SetSafeThreadStartHook(SafeThreadStartHook hook) { gStartHook.store(hook); }

void SetSafeThreadEndHook(SafeThreadEndHook hook) { gEndHook.store(hook); }

bool IsCurrentThreadSafeThread() { return tCurrentActiveFlag != nullptr; }

int GetRunningSafeThreadCount() { return gRunningThreads.load(); }

bool IsCurrentSafeThreadStopping() {
  return tCurrentActiveFlag != nullptr && !tCurrentActiveFlag->load();
}

SafeThreadOwnerBase::SafeThreadOwnerBase(SafeThreadOwnerBase&& other) noexcept {
  swap(*this, other);
}

SafeThreadOwnerBase& SafeThreadOwnerBase::operator=(SafeThreadOwnerBase&& other) noexcept {
  if (this != &other) {
    SafeThreadOwnerBase old(std::move(*this));
    swap(*this, other);
    // old's destructor ends the thread this owner had before.
  }
  return *this;
}

SafeThreadOwnerBase::~SafeThreadOwnerBase() {
  if (m_joinAtExit) {
    Join();
  } else {
    Stop();
  }
}

void SafeThreadOwnerBase::Start(const std::shared_ptr<SafeThread>& thread) {
  std::lock_guard<wpi::mutex> lock(m_mutex);
  if (m_thread.lock()) return;
  // A previous thread has finished its Main (its object is gone); reap it before
  // starting another, since assigning over a joinable std::thread would terminate.
  if (m_stdThread.joinable()) m_stdThread.join();
  m_thread = thread;
  gRunningThreads.fetch_add(1);
  // Numbered on the starting thread, so that threads started one after another keep
  // that order however the new threads are scheduled.
  const uint64_t startSequence = gStartSequence.fetch_add(1);
  m_stdThread = std::thread([thread, startSequence] { RunThreadMain(thread, startSequence); });
}

std::thread SafeThreadOwnerBase::Release() {
  std::thread stdThread;
  std::shared_ptr<SafeThread> thread;
  {
    std::lock_guard<wpi::mutex> lock(m_mutex);
    thread = m_thread.lock();
    m_thread.reset();
    stdThread = std::move(m_stdThread);
  }
  if (thread) {
    thread->m_active = false;
    if (SafeThreadStopHook hook = gStopHook.load()) hook(stdThread.get_id());
    // Taking the thread's mutex closes the gap between a check of m_active and a
    // wait on m_cond, so the notification cannot be lost.
    { std::lock_guard<wpi::mutex> threadLock(thread->m_mutex); }
    thread->m_cond.notify_all();
  }
  return stdThread;
}

void SafeThreadOwnerBase::Stop() {
  std::thread stdThread = Release();
  if (stdThread.joinable()) stdThread.detach();
}

void SafeThreadOwnerBase::Join() {
  std::thread stdThread = Release();
  if (stdThread.joinable() && stdThread.get_id() != std::this_thread::get_id()) {
    stdThread.join();
  } else if (stdThread.joinable()) {
    // Joining itself would deadlock: a thread that destroys its own owner is detached.
    stdThread.detach();
  }
}

SafeThreadOwnerBase::operator bool() const {
  std::lock_guard<wpi::mutex> lock(m_mutex);
  return !m_thread.expired();
}

std::thread::native_handle_type SafeThreadOwnerBase::GetNativeThreadHandle() {
  std::lock_guard<wpi::mutex> lock(m_mutex);
  return m_stdThread.native_handle();
}

std::shared_ptr<SafeThread> SafeThreadOwnerBase::GetThreadBase() const {
  std::lock_guard<wpi::mutex> lock(m_mutex);
  return m_thread.lock();
}

void swap(SafeThreadOwnerBase& lhs, SafeThreadOwnerBase& rhs) noexcept {
  if (&lhs == &rhs) return;
  std::scoped_lock lock(lhs.m_mutex, rhs.m_mutex);
  std::swap(lhs.m_stdThread, rhs.m_stdThread);
  std::swap(lhs.m_thread, rhs.m_thread);
  bool joinAtExit = lhs.m_joinAtExit.load();
  lhs.m_joinAtExit = rhs.m_joinAtExit.load();
  rhs.m_joinAtExit = joinAtExit;
}

}  // namespace detail
}  // namespace wpi
