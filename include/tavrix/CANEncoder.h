// A view of one controller's motor encoder: position, velocity and their
// conversion factors. Holds only a reference to its device.
#pragma once

#include "tavrix/CANTavrixLowLevel.h"

namespace zem {

class CANTavrix;

class CANEncoder {
 public:
  explicit CANEncoder(CANTavrix& device);

  // The decoded status values, unscaled: the controller applies the factors.
  double GetPosition();
  double GetVelocity();
  CANError SetPosition(double position);

  CANError SetPositionConversionFactor(double factor);
  CANError SetVelocityConversionFactor(double factor);
  double GetPositionConversionFactor();
  double GetVelocityConversionFactor();

 private:
  CANTavrix& device;
};

}  // namespace zem
