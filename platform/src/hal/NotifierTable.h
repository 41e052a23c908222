// The stand-in's notifiers: one alarm each on the simulated clock, and the
// questions a step asks about them. Not thread-safe: Timing's lock guards it.
#pragma once

#include <stdint.h>

#include <condition_variable>
#include <memory>
#include <vector>

#include "HandleTable.h"
#include "hal/Types.h"

namespace hal {

struct Notifier {
  uint64_t order = 0;  // creation order, the tie-break of simultaneous wake-ups
  uint64_t triggerUs = 0;
  bool alarmSet = false;
  bool stopped = false;
  bool granted = false;  // a paused step has handed its waiter the turn
  int waiters = 0;       // threads blocked in WaitForAlarm
  // Its own waiters' wake-up: a step wakes only the thread whose turn it is.
  std::condition_variable wake;

  bool IsDue(uint64_t nowUs) const { return alarmSet && triggerUs <= nowUs; }
  // An alarm that will still go off.
  bool IsArmed() const { return alarmSet && !stopped; }
  void Stop() {
    stopped = true;
    alarmSet = false;
  }
};

class NotifierTable : private HandleTable<HAL_NotifierHandle, Notifier> {
 public:
  using HandleTable::Erase;
  using HandleTable::Find;
  // f(notifier pointer) in creation order.
  using HandleTable::ForEach;
  using HandleTable::Ptr;

  // HAL_kInvalidHandle once every handle was given out.
  HAL_NotifierHandle Create(uint64_t order);

  std::vector<Ptr> Live() const;
  // Time from nowUs to the earliest armed alarm after it, at most limitUs.
  uint64_t UntilNextAlarm(uint64_t nowUs, uint64_t limitUs) const;
  // The armed notifiers whose alarm lies in (fromUs, toUs].
  std::vector<Ptr> BecameDue(uint64_t fromUs, uint64_t toUs) const;
};

}  // namespace hal
