// Driver station access: error and warning reporting and the robot's enable state.
// The stand-in keeps every reported text (halsim::GetDriverStationErrors) and prints
// it to standard error.
#pragma once

#include "frc/ErrorBase.h"
#include "wpi/Twine.h"

namespace frc {

class DriverStation : public ErrorBase {
 public:
  static DriverStation& GetInstance();

  static void ReportError(const wpi::Twine& error);
  static void ReportWarning(const wpi::Twine& error);

  bool IsEnabled() const;
  bool IsDisabled() const;

 private:
  DriverStation() = default;
};

}  // namespace frc
