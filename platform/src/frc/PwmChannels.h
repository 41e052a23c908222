// Which SendableBase objects are PWM channels, so that naming one is recorded in
// that channel's state. Private to the robot library.
#pragma once

namespace frc {

class SendableBase;

namespace detail {

void RegisterPwmChannel(const SendableBase* object, int channel);
void UnregisterPwmChannel(const SendableBase* object);
// False when object is not a PWM channel.
bool FindPwmChannel(const SendableBase* object, int* channel);

}  // namespace detail
}  // namespace frc
