// The device library's adapter to WPILib 2026.2.2. Its twin for WPILib
// 2019.4.1 and the stand-in declares the same names; the build picks one at
// configure time by the version of the WPILib package found and installs it
// with the public headers. Everything the device code needs from WPILib and
// that differs between the two versions goes through here, so the device code
// reads the same on both:
// - MotorControllerBase: the base classes of the CAN controller object. 2026
//   has no frc::ErrorBase, and frc::SpeedController became
//   frc::MotorController (without PIDWrite; SetVoltage is new). As WPILib's
//   own controllers, ours is a wpi::Sendable registered with the
//   SendableRegistry: on a dashboard a "Motor Controller" whose "Value" reads
//   Get() and, written, calls Set(); unregistered on destruction (by the
//   last base destructor, so, as for WPILib's objects, destroy a controller
//   on the thread that runs the dashboard updates). PIDWrite stays a pure
//   virtual, so the controller's interface is the same on both.
// - CanPort: the controller's CAN handle. 2026's frc::CAN throws
//   frc::RuntimeError on a negative status (constructor, writes, reads); here
//   each throw is reported as 2019 reports such a failure and becomes a false
//   result. 2026 has no ReadPeriodicPacket: it is rebuilt on ReadPacketNew
//   with 2019's rules, so status reads give the same frame and age. (2019's
//   HAL keeps one frame per id for all its read kinds; here only the periodic
//   reads keep one, which is the same as long as an API id is read one way
//   only, as the device code does: status frames periodically, replies new.)
// - ReportError: a text for the driver station. 2019's
//   DriverStation::ReportError is gone; HAL_SendError, which 2026's
//   FRC_ReportError ends in, is called as 2019 did, so the text printed (or
//   handed to a simulation error hook) is the same on both.
// Texts are built by the caller as std::string, which both versions take.
//
// Threads and costs are frc::CAN's: no call waits for the bus, none throws;
// a failure report allocates.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include <frc/CAN.h>
#include <frc/motorcontrol/MotorController.h>
#include <wpi/sendable/Sendable.h>
#include <wpi/sendable/SendableHelper.h>

namespace zem::adapter {

class MotorControllerBase : public frc::MotorController,
                            public wpi::Sendable,
                            public wpi::SendableHelper<MotorControllerBase> {
 public:
  // What a control loop writes: the 2019 interface's PIDWrite, kept.
  virtual void PIDWrite(double output) = 0;

 protected:
  // Registers the controller with the SendableRegistry as "Tavrix[deviceNumber]".
  explicit MotorControllerBase(int deviceNumber);

  // "Motor Controller", an actuator whose "Value" is Get() and sets Set();
  // its safe state is Disable().
  void InitSendable(wpi::SendableBuilder& builder) override;
};

class CanPort {
 public:
  // A handle the platform refuses is reported; every later call then fails.
  CanPort(int deviceNumber, int manufacturer, int deviceType);

  // One frame on apiId, handed to the bus; false when the platform refused it.
  bool WritePacket(const uint8_t* data, int length, int apiId);
  // A frame received since the last read of apiId; false (and *data as it
  // was) when none came.
  bool ReadPacketNew(int apiId, frc::CANData* data);
  // The newest frame of a periodic message: the kept one while younger than
  // periodMs, else a newly received one, else the kept one while not older
  // than timeoutMs; false (and *data as it was) when none qualifies. Ages in
  // ms of the FPGA clock, as on 2019. Allocates nothing.
  bool ReadPeriodicPacket(int apiId, int timeoutMs, int periodMs, frc::CANData* data);

 private:
  // The newest frame kept per periodic API id (2019 keeps one per id in the
  // HAL); a controller has three status frames, one slot spare.
  struct KeptFrame {
    int apiId = 0;
    bool valid = false;
    frc::CANData frame{};
  };
  static constexpr size_t kKeptFrames = 4;

  KeptFrame& KeptFor(int apiId);

  std::optional<frc::CAN> m_can;
  std::array<KeptFrame, kKeptFrames> m_kept{};
  size_t m_nextEviction = 0;
};

// Reports text as an error to the driver station (and the console).
void ReportError(const std::string& text);

}  // namespace zem::adapter
