// What a Sendable describes itself to (the stand-in publishes nothing).
#pragma once

#include <string>

#include "wpi/Twine.h"

namespace frc {

class SendableBuilder {
 public:
  virtual ~SendableBuilder() = default;
  virtual void SetSmartDashboardType(const wpi::Twine& type) = 0;
};

}  // namespace frc
