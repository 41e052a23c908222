// Entries of one kind by handle: the stand-in's notifiers, timed callbacks and
// held starting threads. Handles count up from 1 and are never reused, so a
// stale handle stays invalid; iteration is in handle order, which is creation
// order. Entries are shared, so a waiter may keep one after it was erased.
// Not thread-safe: the owner's lock guards it.
#pragma once

#include <limits>
#include <map>
#include <memory>
#include <utility>

namespace hal {

template <typename Handle, typename Entry>
class HandleTable {
 public:
  using Ptr = std::shared_ptr<Entry>;

  // The entry's new handle, or 0 once every handle was given out.
  Handle Add(Ptr entry) {
    if (m_nextHandle == std::numeric_limits<Handle>::max()) return Handle{0};
    const Handle handle = m_nextHandle++;
    m_entries.emplace(handle, std::move(entry));
    return handle;
  }
  // Null for an unknown or erased handle.
  Ptr Find(Handle handle) const {
    auto found = m_entries.find(handle);
    return found == m_entries.end() ? nullptr : found->second;
  }
  void Erase(Handle handle) { m_entries.erase(handle); }

  // f(entry) for every entry, in handle order.
  template <typename F>
  void ForEach(F f) const {
    for (const auto& entry : m_entries) f(entry.second);
  }

 private:
  std::map<Handle, Ptr> m_entries;
  Handle m_nextHandle = 1;
};

}  // namespace hal
