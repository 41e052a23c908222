// The timed callbacks of the simulated clock: registering, cancelling, running
// one, and the thread that runs them in real time (see Timing.h).
#include <algorithm>

#include "Timing.h"

namespace hal {

int32_t Timing::RegisterTimedCallback(uint64_t firstUs, HALSIM_TimedCallback function,
                                      void* param) {
  if (function == nullptr) return 0;
  std::lock_guard<std::mutex> lock(m_mutex);
  auto callback = std::make_shared<TimedCallback>();
  callback->nextUs = firstUs;
  callback->function = function;
  callback->param = param;
  if (!m_callbacks.Add(callback)) return 0;
  callback->order = m_nextOrder++;
  if (!m_callbackThreadStarted) StartCallbackThreadLocked();
  m_callbackCv.notify_all();
  return callback->handle;
}

void Timing::CancelTimedCallback(int32_t handle) {
  Lock lock(m_mutex);
  CallbackPtr callback = m_callbacks.Find(handle);
  if (!callback) return;
  callback->cancelled = true;
  // After this returns the callback neither runs nor will run, unless it cancels itself.
  m_callbackCv.wait(lock, [&] {
    return !callback->running || callback->runningThread == std::this_thread::get_id();
  });
  if (!callback->running) m_callbacks.Erase(handle);
}

void Timing::RunCallback(Lock& lock, const CallbackPtr& callback, uint64_t nowUs) {
  callback->running = true;
  callback->runningThread = std::this_thread::get_id();
  ++m_runningCallbacks;
  lock.unlock();
  const uint64_t nextUs = callback->function(callback->param, nowUs);
  lock.lock();
  --m_runningCallbacks;
  m_callbacks.Finish(callback, nextUs, nowUs);
  // Only a canceller waits for a callback to finish; waking the idle real-time
  // thread after every tick of a paused step would cost two context switches.
  if (callback->cancelled) m_callbackCv.notify_all();
  m_settleCv.notify_all();
}

void Timing::StartCallbackThreadLocked() {
  m_callbackThreadStarted = true;
  // Real time only; paused, steps run the callbacks. Lives as long as the process,
  // like this object, and touches nothing else when idle.
  std::thread([this] { CallbackThreadLoop(); }).detach();
}

void Timing::CallbackThreadLoop() {
  Lock lock(m_mutex);
  while (true) {
    CallbackPtr next = m_clock.IsPaused() ? nullptr : m_callbacks.Earliest();
    if (!next) {
      m_callbackCv.wait(lock);
      continue;
    }
    const uint64_t nowUs = m_clock.Now();
    if (next->nextUs <= nowUs) {
      RunCallback(lock, next, nowUs);
      continue;
    }
    const uint64_t remainingUs = std::min(next->nextUs - nowUs, kMaxTimedWaitUs);
    m_callbackCv.wait_for(lock, std::chrono::microseconds(remainingUs));
  }
}

}  // namespace hal
