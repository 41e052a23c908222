// A view of one of a controller's two limit switches: its polarity and enable
// parameters and the switch bit of the controller's fault word. Holds only a
// reference to its device, which must outlive it; used under the device's
// threading rule (one thread at a time for the device and all its views).
// Allocates nothing; nothing throws.
#pragma once

#include <cstdint>

#include "tavrix/CANTavrixLowLevel.h"

namespace zem {

class CANTavrix;

class CANDigitalInput {
 public:
  // Every value other than kForward acts as kReverse.
  enum class LimitSwitch : int32_t { kForward = 0, kReverse = 1 };
  // Every value other than kPolarity0 acts as kPolarity1.
  enum class LimitSwitchPolarity : int32_t { kPolarity0 = 0, kPolarity1 = 1 };

  // Writes the switch's polarity parameter, awaiting nothing; the result of
  // that write is ignored.
  CANDigitalInput(CANTavrix& owner, LimitSwitch whichSwitch, LimitSwitchPolarity polarity);

  // The switch bit of a freshly read fault word, whatever the enable setting.
  // Returns at once (status frame 0); false when no fresh frame came.
  bool Get() const;
  // One frame, no reply awaited; always kSuccess.
  CANError EnableLimitSwitch(bool enable);
  // Blocks up to the device's CAN timeout; false when no answer came.
  bool IsLimitSwitchEnabled();

 private:
  using ConfigParameter = CANTavrixLowLevel::ConfigParameter;

  bool IsForward() const { return limitSwitch == LimitSwitch::kForward; }
  ConfigParameter EnabledParameter() const;

  CANTavrix& device;
  LimitSwitch limitSwitch;
};

}  // namespace zem
