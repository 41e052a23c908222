// The setpoint sender thread: re-sends every registered device's latest
// setpoint frame whenever the device's control-frame period has elapsed.
#pragma once

#include <cstdint>

#include "common/DeviceRegistry.h"
#include "common/PacedThread.h"
#include "setpoint/SetpointTable.h"

namespace zem::driver {

class SetDaemon : public PacedThread {
 public:
  // registry: the registry word, only read. Both outlive the thread.
  SetDaemon(const uint64_t* registry, const SetpointTable& table)
      : m_registry(registry), m_table(table), m_reader(table) {}
  ~SetDaemon() override = default;

 private:
  void Main() override;
  // One scan over all device numbers; returns the wake time lowered to the
  // earliest next due time of a served device.
  uint64_t ServeDueDevices(uint64_t wakeUs);
  // False when the device had nothing to send yet (see SetpointReader).
  bool SendSetpoint(int deviceNumber);
  bool WasSent(int deviceNumber) const { return IsRegistered(m_sentMask, deviceNumber); }

  const uint64_t* m_registry;
  const SetpointTable& m_table;
  SetpointReader m_reader;
  // FPGA time read right after each device's last send; owned by the thread.
  uint64_t m_lastSentUs[kDeviceSlots] = {};
  uint64_t m_lastPassUs = 0;
  // Bit d set once device d was sent. Kept apart from m_lastSentUs so that a
  // send at FPGA time 0 is not taken for "never sent".
  uint64_t m_sentMask = 0;
};

}  // namespace zem::driver
