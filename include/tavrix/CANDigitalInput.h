// A view of one of a controller's two limit switches: its polarity and enable
// parameters and the switch bit of the controller's fault word.
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

  // Writes the switch's polarity parameter; the result of that write is ignored.
  CANDigitalInput(CANTavrix& device, LimitSwitch limitSwitch, LimitSwitchPolarity polarity);

  // The switch bit of a freshly read fault word, whatever the enable setting.
  bool Get() const;
  CANError EnableLimitSwitch(bool enable);
  bool IsLimitSwitchEnabled();

 private:
  using ConfigParameter = CANTavrixLowLevel::ConfigParameter;

  bool IsForward() const { return limitSwitch == LimitSwitch::kForward; }
  ConfigParameter EnabledParameter() const;

  CANTavrix& device;
  LimitSwitch limitSwitch;
};

}  // namespace zem
