// The stand-in's timed callbacks (see CallbackTable.h).
#include "CallbackTable.h"

namespace hal {

bool CallbackTable::Add(const Ptr& callback) {
  callback->handle = HandleTable::Add(callback);
  return callback->handle != 0;
}

CallbackTable::Ptr CallbackTable::Earliest() const {
  Ptr earliest;
  ForEach([&](const Ptr& c) {
    if (c->IsWaiting() && (!earliest || c->nextUs < earliest->nextUs)) earliest = c;
  });
  return earliest;
}

void CallbackTable::Finish(const Ptr& callback, uint64_t nextUs, uint64_t nowUs) {
  callback->running = false;
  if (nextUs == 0 || callback->cancelled) {
    Erase(callback->handle);
  } else {
    // A callback asking for a time not after now would run again at the same instant.
    callback->nextUs = nextUs > nowUs ? nextUs : nowUs + 1;
  }
}

}  // namespace hal
