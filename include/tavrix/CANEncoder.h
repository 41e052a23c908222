// A view of one controller's motor encoder: position, velocity and their
// conversion factors. Holds only a reference to its device, which must
// outlive it; used under the device's threading rule (one thread at a time
// for the device and all its views). Allocates nothing; nothing throws.
#pragma once

#include "tavrix/CANTavrixLowLevel.h"

namespace zem {

class CANTavrix;

class CANEncoder {
 public:
  explicit CANEncoder(CANTavrix& owner);

  // The decoded status values, unscaled: the controller applies the factors.
  // Return at once (status frames 2 and 1); 0.0 when no fresh frame came.
  double GetPosition();
  double GetVelocity();
  // Setters: one frame, no reply awaited; always kSuccess.
  CANError SetPosition(double position);

  CANError SetPositionConversionFactor(double factor);
  CANError SetVelocityConversionFactor(double factor);
  // Block up to the device's CAN timeout; 0.0 when no answer came.
  double GetPositionConversionFactor();
  double GetVelocityConversionFactor();

 private:
  CANTavrix& device;
};

}  // namespace zem
