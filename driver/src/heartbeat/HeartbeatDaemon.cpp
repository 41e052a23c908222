// The heartbeat loop (see HeartbeatDaemon.h).
#include "heartbeat/HeartbeatDaemon.h"

#include <hal/CAN.h>
#include <hal/HALBase.h>
#include <tavrix/Wire.h>

#include "common/DeviceRegistry.h"
#include "common/LoopPacer.h"

namespace zem::driver {

void HeartbeatDaemon::Main() {
  LoopPacer pacer(*this);
  int32_t status = 0;
  m_lastWakeUs = HAL_GetFPGATime(&status);
  const uint32_t heartbeatId = wire::ComposeId(0, wire::api::kHeartbeat);
  while (m_active) {
    SendHeartbeat(heartbeatId);
    // Counted from the previous wake, so an overrun pass is followed at once.
    pacer.WaitUntil(m_lastWakeUs + wire::kHeartbeatPeriodUs);
    m_lastWakeUs = HAL_GetFPGATime(&status);
  }
}

void HeartbeatDaemon::SendHeartbeat(uint32_t heartbeatId) const {
  int32_t status = 0;
  // Only an explicit 1 counts as active; the controllers stop without a mask.
  const bool outputsActive = HAL_GetSystemActive(&status) == 1;
  const wire::Payload payload = wire::EncodeHeartbeat(outputsActive ? LoadRegistry(m_registry) : 0);
  HAL_CAN_SendMessage(heartbeatId, payload.data(), static_cast<uint8_t>(payload.size()),
                      HAL_CAN_SEND_PERIOD_NO_REPEAT, &status);
}

}  // namespace zem::driver
