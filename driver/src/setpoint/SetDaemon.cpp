// The setpoint sender loop (see SetDaemon.h).
#include "setpoint/SetDaemon.h"

#include <hal/CAN.h>
#include <hal/HALBase.h>
#include <tavrix/Wire.h>

#include "common/LoopPacer.h"

namespace zem::driver {

void SetDaemon::Main() {
  LoopPacer pacer(*this);
  int32_t status = 0;
  m_lastPassUs = HAL_GetFPGATime(&status);
  // Starting at the start time means the first pass never waits.
  uint64_t wakeUs = m_lastPassUs;
  while (m_active) {
    wakeUs = ServeDueDevices(wakeUs);
    const uint64_t scanEndUs = HAL_GetFPGATime(&status);
    if (wakeUs > scanEndUs) pacer.WaitUntil(wakeUs);
    // Without anything due sooner, look again (new registrations, new
    // periods, a stop request) within the idle wake of this scan's end.
    wakeUs = scanEndUs + wire::kSetpointIdleWakeUs;
    m_lastPassUs = HAL_GetFPGATime(&status);
  }
}

uint64_t SetDaemon::ServeDueDevices(uint64_t wakeUs) {
  int32_t status = 0;
  for (int d = 0; d < kDeviceSlots; ++d) {
    // Read afresh for each device, so a change shows from the next device on.
    if (!IsRegistered(LoadRegistry(m_registry), d)) continue;
    const uint64_t periodUs = m_table.PeriodUs(d);
    if (periodUs == 0) continue;
    const uint64_t nowUs = HAL_GetFPGATime(&status);
    const uint64_t dueUs = m_lastSentUs[d] + periodUs;
    // Signed difference: the comparison stays right across a wrap of the sum.
    if (WasSent(d) && static_cast<int64_t>(dueUs - nowUs) > 0) {
      if (dueUs < wakeUs) wakeUs = dueUs;
      continue;
    }
    if (!SendSetpoint(d)) {
      // Still due: look at it again within one period.
      if (nowUs + periodUs < wakeUs) wakeUs = nowUs + periodUs;
      continue;
    }
    const uint64_t nextDueUs = m_lastSentUs[d] + periodUs;
    if (nextDueUs < wakeUs) wakeUs = nextDueUs;
  }
  return wakeUs;
}

bool SetDaemon::SendSetpoint(int deviceNumber) {
  SetpointContent content;
  if (!m_reader.Load(deviceNumber, content)) return false;
  const wire::Payload payload =
      wire::EncodeSetpoint(wire::Setpoint{content.value, content.aux, content.pidSlot});
  int32_t status = 0;
  HAL_CAN_SendMessage(wire::ComposeId(deviceNumber, content.apiId), payload.data(),
                      static_cast<uint8_t>(payload.size()), HAL_CAN_SEND_PERIOD_NO_REPEAT, &status);
  // Updated whatever the send's outcome: a failed frame waits for the next period.
  m_lastSentUs[deviceNumber] = HAL_GetFPGATime(&status);
  m_sentMask |= DeviceBit(deviceNumber);
  return true;
}

}  // namespace zem::driver
