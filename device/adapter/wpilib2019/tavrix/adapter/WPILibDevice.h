// The device library's adapter to WPILib 2019.4.1 and to the stand-in, which
// has the same API. Its twin for WPILib 2026.2.2 declares the same names; the
// build picks one at configure time by the version of the WPILib package found
// and installs it with the public headers. Everything the device code needs
// from WPILib and that differs between the two versions goes through here, so
// the device code reads the same on both:
// - MotorControllerBase: the base classes of the CAN controller object. On
//   2019 frc::ErrorBase and frc::SpeedController (with its PIDWrite).
// - CanPort: the controller's CAN handle. On 2019 frc::CAN as it is: it never
//   throws (errors go to its ErrorBase), and it has ReadPeriodicPacket.
// - ReportError: a text for the driver station; on 2019
//   frc::DriverStation::ReportError.
// Texts are built by the caller as std::string, which both versions take.
//
// Threads and costs are frc::CAN's: no call waits for the bus, none throws.
#pragma once

#include <cstdint>
#include <string>

#include <frc/CAN.h>
#include <frc/ErrorBase.h>
#include <frc/SpeedController.h>

namespace zem::adapter {

class MotorControllerBase : public frc::ErrorBase, public frc::SpeedController {
 protected:
  // The device number names the controller where the platform registers it;
  // 2019 registers nothing.
  explicit MotorControllerBase(int deviceNumber);
};

class CanPort {
 public:
  CanPort(int deviceNumber, int manufacturer, int deviceType);

  // One frame on apiId, handed to the bus; false when the platform refused it.
  bool WritePacket(const uint8_t* data, int length, int apiId);
  // A frame received since the last read of apiId; false when none came.
  bool ReadPacketNew(int apiId, frc::CANData* data);
  // The newest frame of a periodic message: the kept one while younger than
  // periodMs, else a newly received one, else the kept one while not older
  // than timeoutMs; false when none qualifies. Ages in ms of the FPGA clock.
  bool ReadPeriodicPacket(int apiId, int timeoutMs, int periodMs, frc::CANData* data);

 private:
  frc::CAN m_can;
};

// Reports text as an error to the driver station (and the console).
void ReportError(const std::string& text);

}  // namespace zem::adapter
