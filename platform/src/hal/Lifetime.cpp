// The HAL's state and its end at process exit (see Lifetime.h).
#include "Lifetime.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "Timing.h"

namespace hal {

namespace {

std::atomic<std::thread::id> gExitingThread{};
std::atomic<bool> gEnded{false};

struct State {
  State() { Timing::Get(); }
  // The exiting thread is stored first, so that a thread seeing gEnded sees it too.
  ~State() {
    gExitingThread.store(std::this_thread::get_id());
    gEnded.store(true);
  }
};

}  // namespace

void InitializeOnce() { static State state; }

void CheckAlive(const char* function) {
  if (!gEnded.load()) return;
  if (std::this_thread::get_id() == gExitingThread.load()) return;
  std::fprintf(stderr,
               "HAL: %s called by a thread after the HAL's state was destroyed at process "
               "exit; stop and join that thread before then (for instance construct its owner "
               "after HAL_Initialize). WPILib crashes here.\n",
               function);
  std::fflush(stderr);
  std::abort();
}

}  // namespace hal
