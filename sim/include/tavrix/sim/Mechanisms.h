// Physics behind the simulated controllers: DC motors with their published
// figures, the mechanisms they drive through a gearbox (flywheel, arm,
// elevator), a hook for one's own physics, and the robot battery.
//
// Units: SI throughout (N·m, A, V, kg, m, rad, rad/s), except motor speeds in
// rotations per minute as motor figures are published. A mechanism's position
// is its output shaft angle in radians (a flywheel, an arm: 0 is horizontal,
// positive up) or, for an elevator, the carriage height in metres.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>

namespace tavrix::sim {

// A DC motor by the figures makers publish at a nominal voltage. The model:
// current = (volts - speed / Kv) / R, torque = Kt x current, less an internal
// friction torque that makes the free current flow at free speed.
struct DcMotor {
  double nominalVolts = 12.0;
  double stallTorqueNm = 2.6;
  double stallCurrentA = 105.0;
  double freeSpeedRpm = 5676.0;
  double freeCurrentA = 1.8;
  // Rotor moment of inertia; adds gear ratio squared times this to the load.
  double rotorInertiaKgM2 = 5.0e-5;

  // Typical figures of the motor kinds the controller drives (motor type
  // parameter 0 and 1). The brushless one is a 12 V outrunner of the size
  // used on competition robots (about 2.6 N·m, 105 A stall, 5700 rpm free);
  // the brushed one is the common 2.5-inch 12 V brushed motor of the same
  // robots (about 2.4 N·m, 133 A stall, 5300 rpm free). Both from the makers'
  // published curves, rounded.
  static DcMotor Brushless();
  static DcMotor Brushed();

  // Derived constants (meaningful only when IsValid).
  double ResistanceOhm() const;     // nominal volts / stall current
  double TorquePerAmpNm() const;    // Kt: stall torque / stall current
  double RadPerSecPerVolt() const;  // Kv: free speed / (volts - free current x R)
  double FrictionTorqueNm() const;  // Kt x free current

  bool IsValid() const;
};

// A closed mechanism state in the mechanism's units (see the top of this file).
struct MechanismState {
  double position = 0.0;
  double velocity = 0.0;
};

constexpr double kNoLimit = std::numeric_limits<double>::infinity();

// Gear ratio: motor rotations per rotation of the output shaft (or drum).
struct FlywheelParams {
  double gearRatio = 1.0;
  double momentOfInertiaKgM2 = 2.0e-3;
  double viscousNmPerRadPerS = 0.0;
  double coulombNm = 0.0;
};

// A uniform rod about one end; hard stops at the angle limits.
struct ArmParams {
  double gearRatio = 100.0;
  double massKg = 3.0;
  double lengthM = 0.6;
  double minAngleRad = -kNoLimit;
  double maxAngleRad = kNoLimit;
  double viscousNmPerRadPerS = 0.0;
  double coulombNm = 0.0;
};

// A carriage on a cable wound on a drum; hard stops at the travel limits.
struct ElevatorParams {
  double gearRatio = 10.0;
  double carriageMassKg = 5.0;
  double drumRadiusM = 0.02;
  double minHeightM = 0.0;
  double maxHeightM = kNoLimit;
  double viscousNmPerRadPerS = 0.0;  // at the drum
  double coulombNm = 0.0;            // at the drum
};

// One step of a mechanism handed to a physics hook. In: the step length, the
// state at its start and the motors' torque at the output shaft (summed, with
// the motors' back EMF evaluated at the start state). Out: either a load
// torque added to the built-in model, or the state at the end of the step
// (stateGiven), which replaces the built-in integration.
struct PhysicsStep {
  double dtS = 0.0;
  MechanismState start;
  double motorTorqueNm = 0.0;
  double loadTorqueNm = 0.0;
  bool stateGiven = false;
  MechanismState end;
};
using PhysicsHook = std::function<void(PhysicsStep&)>;

// A mechanism that one or more simulated controllers drive through one
// gearbox: their motors share the shaft and their torques add. Advanced in
// fixed 1 ms steps by the controllers attached to it (semi-implicit Euler,
// the linear damping of the motors and the viscous friction taken implicitly,
// so a step is stable however stiff the back EMF). Thread-safe; no call
// blocks beyond the mechanism's own lock, none throws, and none allocates
// except the factories and SetPhysicsHook.
class Mechanism {
 public:
  struct Impl;

  // Invalid parameters (non-finite, a mass, inertia, ratio or radius <= 0, a
  // negative friction, min > max) give an empty pointer.
  static std::shared_ptr<Mechanism> Flywheel(const FlywheelParams& params);
  static std::shared_ptr<Mechanism> Arm(const ArmParams& params);
  static std::shared_ptr<Mechanism> Elevator(const ElevatorParams& params);

  MechanismState GetState() const;
  // Places the mechanism (within its limits); false for a non-finite value.
  bool SetState(const MechanismState& state);
  double GetGearRatio() const;
  // Motor rotations per unit of the mechanism's position.
  double MotorRotationsPerUnit() const;

  // Called on the thread that advances the mechanism, under its lock, once
  // per step: the hook must not call this mechanism. An empty hook removes it.
  void SetPhysicsHook(PhysicsHook hook);

  explicit Mechanism(std::shared_ptr<Impl> impl);
  Impl& Internals() const { return *impl_; }

 private:
  std::shared_ptr<Impl> impl_;
};

// The robot battery and its wiring: every simulated controller whose bus
// voltage is not fixed (SimOptions::busVoltage, SimController::SetBusVoltage)
// sees openCircuitVolts - resistanceOhm x the total current drawn from the
// battery by all simulated controllers (their input currents in the last
// millisecond). A typical robot battery has about 0.012 ohm inside; leads,
// breaker and distribution add about as much again.
struct BatteryModel {
  double openCircuitVolts = 12.0;
  double resistanceOhm = 0.025;
  bool IsValid() const;
};

// Process-wide and callable from any thread (one short lock); false (nothing
// changed) when the model is invalid.
bool SetBattery(const BatteryModel& model);
BatteryModel GetBattery();
// The bus voltage the battery gives now.
double GetBatteryBusVoltage();

}  // namespace tavrix::sim
