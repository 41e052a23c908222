// The limit-switch view: the polarity write at construction, the enable
// parameter and the switch bit of status frame 0's fault word.
#include "tavrix/CANDigitalInput.h"

#include "tavrix/CANTavrix.h"

namespace zem {

namespace {
using Parameter = CANTavrixLowLevel::ConfigParameter;
using Status = CANTavrixLowLevel::ParameterStatus;
}  // namespace

CANDigitalInput::CANDigitalInput(CANTavrix& owner, LimitSwitch whichSwitch,
                                 LimitSwitchPolarity polarity)
    : device(owner), limitSwitch(whichSwitch) {
  const Parameter polarityParameter =
      IsForward() ? Parameter::kForwardLimitSwitchPolarity : Parameter::kReverseLimitSwitchPolarity;
  // A failed write cannot fail the construction.
  device.SetParameter(polarityParameter, polarity != LimitSwitchPolarity::kPolarity0);
}

CANDigitalInput::ConfigParameter CANDigitalInput::EnabledParameter() const {
  return IsForward() ? Parameter::kForwardLimitSwitchEnabled
                     : Parameter::kReverseLimitSwitchEnabled;
}

bool CANDigitalInput::Get() const {
  return device.GetFault(IsForward() ? CANTavrix::FaultID::kForwardLimitSwitch
                                     : CANTavrix::FaultID::kReverseLimitSwitch);
}

CANError CANDigitalInput::EnableLimitSwitch(bool enable) {
  return CANTavrix::ToCANError(device.SetParameter(EnabledParameter(), enable));
}

bool CANDigitalInput::IsLimitSwitchEnabled() {
  bool enabled = false;
  return device.GetParameter(EnabledParameter(), enabled) == Status::kOK && enabled;
}

}  // namespace zem
