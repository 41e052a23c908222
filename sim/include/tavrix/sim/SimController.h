// A simulated motor controller: plays the device side of the simulated CAN bus
// for one device number. It answers requests, keeps a parameter store, obeys
// setpoints, the heartbeat and the follower command, runs a DC motor model on
// the simulated clock and sends its status frames. Tests and robot programs
// put one or more of these on the bus to run robot code without hardware.
//
// Platforms: the project's WPILib stand-in, and WPILib 2026's simulation (the
// HAL's CAN simulation callbacks; the first SimController initialises the HAL,
// whose simulation callbacks need it; each controller is shown as the HAL
// SimDevice "Tavrix[<device number>]").
//
// Threads: every call may be made from any thread; the controller's state has
// a lock of its own. A controller answers a request on the robot's sending
// thread, inside the send (a delayed reply goes out from its tick when the
// simulated clock reaches it), so robot reads see the answer at once. One tick
// every millisecond runs all attached controllers, in the order they were
// attached (they share the battery): on the stand-in a timed callback of the
// simulated clock (paused, steps run it on the stepping thread), on WPILib a
// thread waiting on a HAL notifier (HALSIM_StepTiming moves it with the robot
// program's notifiers). On WPILib, where threads due at one instant run in
// parallel, a command takes effect at the first tick after it was sent, so
// that a stepped run gives the same states every time (see also
// WaitForNotifierThreads). For a stepped run, pause before the first
// controller ticks: HALSIM_PauseTiming() and HALSIM_RestartTiming() (both work
// before HAL_Initialize), so that the clock stands at 0, not at the varying
// time since the HAL was initialised. On WPILib a status frame sent by the
// tick is readable just after its instant (a reply to a request at once).
// Allocation: construction, Attach, AttachMechanism, and each command received
// on WPILib (queued until the tick). Failures: false or an empty result, as
// stated per call; nothing throws. Exit (WPILib): once a controller attached,
// the simulation stops its tick at exit and lets a paused clock run again, so
// that the threads waiting on it (the driver's, the robot's) can end and the
// process exits.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "tavrix/Wire.h"
#include "tavrix/sim/Mechanisms.h"

namespace tavrix::sim {

// The controller's motor: its figures and how it heats. Velocity in rotations
// per minute, position in rotations (before the conversion factors of the
// parameter store).
struct MotorModel {
  // Empty: the preset of the motor-type parameter (0 brushed, 1 brushless).
  std::optional<DcMotor> motor;
  double ambientTemperatureC = 25.0;
  // Heat the motor takes per degree (copper, iron and case of a motor of
  // about half a kilogram); the winding loss I^2 R heats it.
  double thermalCapacityJPerC = 150.0;
  // Time constant of the cooling toward ambient.
  double coolingTimeConstantS = 300.0;

  bool IsValid() const;
};

struct SimOptions {
  // Firmware version answered on request: major << 24 | minor << 16 | build.
  uint32_t firmwareVersion = 0x01050000u;  // 1.5.0
  bool debugBuild = false;
  MotorModel motor;
  // A fixed bus voltage; empty: the battery's (see BatteryModel), which sags
  // with the current of all simulated controllers.
  std::optional<double> busVoltage;
};

// What a closed-loop control type regulates. Control type 0 is always duty
// cycle. Until SetClosedLoopQuantity says otherwise, types 1, 2 and 6 are
// velocity loops, 3 and 5 position loops and 4 the profiled move, so that a
// first SetReference moves the motor with no extra call.
// kPosition, kVelocity: the slot's PID on the position (rotations after the
// position conversion factor) or the velocity (after the velocity factor),
// plus kFF times the setpoint.
// kProfiledPosition: a trapezoidal move to the setpoint position within the
// slot's motion-profile maximum velocity and acceleration (velocity units and
// velocity units per second, as the velocity conversion factor gives them;
// the profile's position advances by velocity / 60 per second, so both
// factors should be alike), never slower than its minimum output velocity
// while it moves. Each tick the output is the slot's PID on the position
// error against the profile's current point plus kFF times the profile's
// velocity. Once the profile has arrived and the position is within the
// slot's allowed closed-loop error (position units) the output is 0; a
// position that drifts out again is corrected again. The slot's acceleration
// strategy is stored and read back, but the controller gives its values no
// meaning of its own: every value runs the same trapezoid.
enum class ClosedLoopQuantity { kNone, kPosition, kVelocity, kProfiledPosition };

// Parameter kIdleMode: what the motor does with zero output or outputs
// disabled. Coast opens the windings (friction alone slows the mechanism),
// brake shorts them (the back EMF drives a braking current).
constexpr uint32_t kIdleCoast = 0;
constexpr uint32_t kIdleBrake = 1;

enum class LimitSwitch { kForward, kReverse };

// A parameter as stored: the 32-bit value word and the type code it was written with.
struct ParameterValue {
  uint32_t word = 0;
  uint8_t type = 0;
};

// Faults of the controller's side of the bus, for testing the robot's failure paths.
struct BusFaults {
  bool silent = false;               // answers no request at all
  uint64_t replyDelayUs = 0;         // replies go out this much later on the simulated clock
  int replyLength = -1;              // >= 0: replies are cut to at most this many bytes
  bool corruptFollowerEcho = false;  // the follower echo comes back with its last byte flipped
  bool statusFramesStopped = false;  // unplugged: no status frame is sent
};

struct LastSetpoint {
  bool received = false;
  int32_t apiId = 0;
  int controlType = 0;  // 0 for API id 0 and 2
  float value = 0.0f;
  int16_t aux = 0;  // received and kept; the controller gives it no meaning
  uint8_t pidSlot = 0;
};

// Frames received from the robot, by kind.
struct CommandCounts {
  uint64_t setpoints = 0;
  uint64_t heartbeats = 0;
  uint64_t parameterWrites = 0;
  uint64_t parameterReads = 0;
  uint64_t firmwareRequests = 0;
  uint64_t followerCommands = 0;
  uint64_t periodCommands = 0;
  uint64_t clearFaults = 0;
  uint64_t burnFlashes = 0;
  uint64_t factoryDefaults = 0;
  uint64_t encoderPositionSets = 0;
  uint64_t iAccumSets = 0;
  // Frames addressed to this device that it did not act on: unknown API ids,
  // unknown parameters or type codes, wrong lengths, a wrong burn key,
  // non-finite position or accumulator values.
  uint64_t rejected = 0;
};

// A consistent snapshot of the controller.
struct SimState {
  double appliedOutput = 0.0;  // -1..1, what status frame 0 reports
  double velocity = 0.0;       // in the velocity conversion factor's units
  double position = 0.0;       // in the position conversion factor's units
  double outputCurrent = 0.0;  // amperes, magnitude
  double temperatureC = 0.0;
  double busVoltage = 0.0;
  double motorVoltage = 0.0;  // volts across the motor (after current limiting)
  double iAccum = 0.0;
  uint16_t faults = 0;
  uint16_t stickyFaults = 0;
  bool isFollower = false;
  bool outputsEnabled = false;  // a fresh heartbeat carries this device's bit
  int32_t statusPeriodMs[3] = {0, 0, 0};
  LastSetpoint lastSetpoint;
  CommandCounts counts;
};

class SimController {
 public:
  static constexpr int kMaxDeviceNumber = static_cast<int>(zem::wire::kDeviceMask);
  // The fault bits that show the forward and reverse limit switches.
  static constexpr int kForwardLimitFaultBit = zem::wire::kForwardLimitFaultBit;
  static constexpr int kReverseLimitFaultBit = zem::wire::kReverseLimitFaultBit;

  // Attaches at once (see Attach). Invalid motor constants or bus voltage in
  // the options are replaced by the defaults.
  explicit SimController(int deviceNumber, const SimOptions& options = SimOptions());
  // Detaches.
  ~SimController();
  SimController(const SimController&) = delete;
  SimController& operator=(const SimController&) = delete;

  // Puts the controller on the bus and on the shared 1 ms tick. False when the
  // device number is outside 0..63, another simulated controller already has
  // this number, or this one is attached already.
  bool Attach();
  // Takes the controller off the bus and stops its tick; returns once no tick
  // runs. Its state is kept and it may be attached again.
  void Detach();
  bool IsAttached() const;
  int GetDeviceNumber() const;

  SimState GetState() const;
  double GetAppliedOutput() const;
  double GetVelocity() const;
  double GetPosition() const;
  double GetOutputCurrent() const;
  double GetTemperature() const;

  // Coupling with one's own physics model (a WPILib DCMotorSim,
  // SingleJointedArmSim, ...). GetMotorVoltage: the volts across the motor as
  // of the last tick before now (0 with the windings open), to feed the model.
  // SetRotorState: the motor shaft's position (rotations) and speed (rpm)
  // from the model. From the first tick after the call on, the controller's
  // motion model no longer moves the shaft: the encoder reads the given
  // rotations through the position conversion factor (an encoder position the
  // robot sets later offsets it), the velocity is the given speed through the
  // velocity factor, and current and heating follow from the given speed and
  // the applied voltage. Call it again each time the model steps. False
  // (nothing changed) for a non-finite value.
  // ReleaseRotorState: back to the built-in model (mechanism) from the next
  // tick on; the encoder counts on from where it reads.
  double GetMotorVoltage() const;
  bool SetRotorState(double rotations, double rpm);
  void ReleaseRotorState();

  // Parameter store. Get: empty for an id the controller does not know; what
  // the robot wrote last (on WPILib its control step takes it at the next tick).
  // Set: false for an unknown id or a type code outside 0..3.
  std::optional<ParameterValue> GetParameter(int id) const;
  bool SetParameter(int id, ParameterValue value);

  // Inputs a test sets.
  void SetLimitSwitch(LimitSwitch which, bool pressed);
  // Fixes the bus voltage (the battery no longer counts for this
  // controller). False (nothing changed) for a negative or non-finite voltage.
  bool SetBusVoltage(double volts);
  // Puts the motor on a mechanism's gearbox: the encoder reads the
  // mechanism through its gear ratio and the conversion factors, and the
  // motor's torque adds to that of the other controllers on it (a leader and
  // its followers share one shaft this way). Empty: back to the controller's
  // own load (a light flywheel, a spin-up time constant of about 50 ms).
  // Allocates; takes the mechanism's lock.
  void AttachMechanism(std::shared_ptr<Mechanism> mechanism);
  std::shared_ptr<Mechanism> GetMechanism() const;
  // False (nothing changed) when a constant is out of range (see MotorModel::IsValid).
  bool SetMotorModel(const MotorModel& model);
  void SetFirmware(uint32_t version, bool debugBuild);
  // Overrides what a control type regulates (defaults: see
  // ClosedLoopQuantity); kNone makes the type drive nothing. Kept across
  // PowerCycle. False for a control type outside 1..6.
  bool SetClosedLoopQuantity(int controlType, ClosedLoopQuantity quantity);
  // Fault bits 0..13 reported in status frame 0 (bits 14 and 15 belong to the
  // limit switches and are ignored here).
  void SetFaultBits(uint16_t bits);
  void SetBusFaults(const BusFaults& faults);

  // A simulated power cycle: the parameter store returns to what was last
  // burned (the defaults if never), and the motion, follower mode, last
  // setpoint, heartbeat, sticky faults and status periods start afresh.
  void PowerCycle();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Fresh state for the next test within one process: detaches every simulated
// controller (the objects stay and may be attached again), clears the bus
// content (HALSIM_ResetCanBusData) and every record (halsim::ResetRecords),
// puts the battery back to its defaults, and pauses the clock where it is, so
// that only the test's steps move it from then on. The driver's tables (the
// registry, setpoints and periods) are process-wide by design and stay: for
// those, give each test its own process (gtest_discover_tests with ctest).
// Call it from the test's thread, not from a simulated device's callback.
void ResetSimulation();

// For stepped runs on WPILib 2026, whose steps wait only for the notifiers
// that exist when the step begins: returns true once at least `count` HAL
// notifiers have their alarm set (their threads have done their first round
// and wait, or are about to), false after wallSeconds of wall-clock time.
// The notifiers of a program: the simulated controllers' tick 1 (once one is
// attached), the driver 2 (from the first controller object on), a
// frc::TimedRobot 1. Call it after starting the program's threads and before
// the first step, and change what those threads read on their first round
// (the driver-station enable) only after it, so that a stepped run comes out
// the same every time: a thread that starts during a step starts at whatever
// time the step has reached. On the stand-in, whose steps run new threads
// first and one at a time, it returns true at once. Polls every millisecond;
// allocates.
bool WaitForNotifierThreads(int count, double wallSeconds = 1.0);

}  // namespace tavrix::sim
