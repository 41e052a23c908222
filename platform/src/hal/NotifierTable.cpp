// The stand-in's notifiers (see NotifierTable.h).
#include "NotifierTable.h"

#include <algorithm>

namespace hal {

HAL_NotifierHandle NotifierTable::Create(uint64_t order) {
  auto notifier = std::make_shared<Notifier>();
  notifier->order = order;
  return Add(std::move(notifier));
}

std::vector<NotifierTable::Ptr> NotifierTable::Live() const {
  std::vector<Ptr> live;
  ForEach([&](const Ptr& notifier) { live.push_back(notifier); });
  return live;
}

uint64_t NotifierTable::UntilNextAlarm(uint64_t nowUs, uint64_t limitUs) const {
  uint64_t spanUs = limitUs;
  ForEach([&](const Ptr& n) {
    if (n->IsArmed() && n->triggerUs > nowUs) spanUs = std::min(spanUs, n->triggerUs - nowUs);
  });
  return spanUs;
}

std::vector<NotifierTable::Ptr> NotifierTable::BecameDue(uint64_t fromUs, uint64_t toUs) const {
  std::vector<Ptr> due;
  ForEach([&](const Ptr& n) {
    if (n->IsArmed() && n->triggerUs > fromUs && n->triggerUs <= toUs) due.push_back(n);
  });
  return due;
}

}  // namespace hal
