// The heartbeat thread: every 25 ms it broadcasts the registry word while the
// robot's outputs are active, and zeros otherwise.
#pragma once

#include <cstdint>

#include "common/PacedThread.h"

namespace zem::driver {

class HeartbeatDaemon : public PacedThread {
 public:
  explicit HeartbeatDaemon(const uint64_t* registry) : m_registry(registry) {}
  ~HeartbeatDaemon() override = default;

 private:
  void Main() override;
  void SendHeartbeat(uint32_t heartbeatId) const;

  const uint64_t* m_registry;  // the registry word; only read
  uint64_t m_lastWakeUs = 0;   // FPGA time when the thread started or last woke
};

}  // namespace zem::driver
