// The one place where the simulated controllers meet the platform: the device
// side of the CAN bus, the clock that ticks them, and the values shown in the
// platform's simulation tools. Two implementations, chosen by the build: the
// stand-in's (port/standin/, the stand-in's bus and timed callbacks) and WPILib
// 2026's (port/wpilib/, the HAL's CAN simulation callbacks, a HAL notifier and
// hal::SimDevice). The controllers' logic calls only this header.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "ControllerCore.h"

namespace tavrix::sim::detail {

// The simulation the port serves (there is one per process).
class PortClient {
 public:
  // A frame the robot sent, on the sending thread. A request must be answered
  // before this returns (paused time does not move while the robot waits).
  virtual void OnRobotFrame(const Frame& frame) = 0;
  // A frame a simulated device published (a leader's status frame).
  virtual void OnDeviceFrame(const Frame& frame) = 0;
  // The tick, called at the time the previous call returned (or the time given
  // to StartTick); returns when it is due next, 0 for never.
  virtual uint64_t OnTick(uint64_t nowUs) = 0;

 protected:
  ~PortClient() = default;
};

namespace port {

// Once per process, before anything else below, on any thread; idempotent.
// WPILib's simulation callbacks crash before HAL_Initialize, so this
// initialises the HAL there, and connects the bus to the client.
void Connect(PortClient* client);

// True where the platform runs every thread one at a time in a fixed order
// (the stand-in): robot commands then take effect as they are received. False
// where threads due at one instant run in parallel (WPILib 2026): commands
// take effect at the controller's next tick, by their time stamps, so that a
// stepped run does not depend on which thread came first.
bool CommandsApplyOnReceipt();

uint64_t NowUs();
// The time a controller attached at nowUs counts its ticks from.
uint64_t TickOrigin(uint64_t nowUs);

// When a published frame may be read. kNow: a reply to a request, read right
// after the request's send. kAfterThisInstant: what the tick sends (status
// frames, delayed replies); where threads due at one instant run in parallel
// (WPILib), a robot reading at the tick's instant then gets the earlier frame
// whichever thread ran first.
enum class Visibility { kNow, kAfterThisInstant };

// A controller's frame (a reply or a status frame), stamped now. The client
// sees it through OnDeviceFrame at once. Call with no controller lock held.
void Publish(const OutFrame& frame, Visibility visibility);
// Frames of this device not read yet are dropped (it leaves the bus).
void ForgetDevice(int device);

// The tick: OnTick runs at firstUs and then at the times it returns. Stop
// returns once no OnTick runs (called from OnTick itself: only the later ones
// stop). Call both from one thread at a time.
void StartTick(uint64_t firstUs);
void StopTick();

// ResetSimulation's part: the bus content and records, and the clock paused.
void ResetBusAndPause();

// See tavrix::sim::WaitForNotifierThreads.
bool WaitForNotifierThreads(int count, double wallSeconds);

}  // namespace port

// What the platform's simulation tools show of one controller.
struct DeviceValues {
  double appliedOutput = 0.0;
  double motorVoltage = 0.0;
  double velocity = 0.0;
  double position = 0.0;
  double outputCurrent = 0.0;
  double temperature = 0.0;
  double busVoltage = 0.0;
};

// One controller's entry in the platform's device list (WPILib: the HAL
// SimDevice "Tavrix[<device>]"; the stand-in has none and does nothing).
// Publish and TakeBusVoltageSet run on the tick.
class DeviceView {
 public:
  explicit DeviceView(int device);
  ~DeviceView();
  DeviceView(const DeviceView&) = delete;
  DeviceView& operator=(const DeviceView&) = delete;

  // False where the platform has no device list (then Publish need not be called).
  bool IsShown() const;
  void Publish(const DeviceValues& values);
  // A bus voltage someone else set since the last Publish (the tools edit it).
  std::optional<double> TakeBusVoltageSet();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tavrix::sim::detail
