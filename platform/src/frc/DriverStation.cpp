// Driver-station reporting of the stand-in: texts are recorded and printed to stderr.
#include "frc/DriverStation.h"

#include <cstdio>
#include <string>

#include "common/PlatformInternal.h"
#include "hal/HALBase.h"

namespace frc {

namespace {

void Report(const char* severity, const std::string& text) {
  halsim::internal::RecordDriverStationError(text);
  std::fprintf(stderr, "%s %s\n", severity, text.c_str());
}

}  // namespace

DriverStation& DriverStation::GetInstance() {
  static DriverStation* instance = new DriverStation;  // never destroyed
  return *instance;
}

void DriverStation::ReportError(const wpi::Twine& error) { Report("Error", error.str()); }

void DriverStation::ReportWarning(const wpi::Twine& error) { Report("Warning", error.str()); }

bool DriverStation::IsEnabled() const {
  int32_t status = 0;
  return HAL_GetSystemActive(&status) != 0;
}

bool DriverStation::IsDisabled() const { return !IsEnabled(); }

}  // namespace frc
