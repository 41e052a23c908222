// The drive of a simulated controller: the output, once a tick, becomes
// volts across the motor, current (with the smart and secondary limits),
// heat, motion of the mechanism (or of a rotor whose state the caller's own
// physics gives) and the encoder's position; what the battery delivers is
// reported to it. Not thread-safe (the controller's lock guards it).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "MotorPhysics.h"
#include "ParameterStore.h"
#include "physics/MechanismImpl.h"
#include "tavrix/sim/SimController.h"

namespace tavrix::sim::detail {

class Drive {
 public:
  explicit Drive(const SimOptions& options);
  ~Drive();
  Drive(const Drive&) = delete;
  Drive& operator=(const Drive&) = delete;

  // The start of the tick at nowUs: a rotor state given before it takes
  // effect, and the bus voltage is read.
  void BeginTick(uint64_t nowUs);
  // The rest of the tick: the motor driven at output (-1..1).
  void Step(double output, uint64_t nowUs, const ParameterStore& params);
  // A reboot: the motor stops (keeping its heat), and so does the own load.
  void PowerCycle();

  double Position() const { return run_.position; }
  void SetPosition(double position) { run_.position = position; }
  double Velocity(const ParameterStore& params) const;
  double AppliedOutput() const { return run_.appliedOutput; }
  const MotorState& Motor() const { return run_.motor; }
  double BusVoltage() const { return busVoltage_; }

  // See SimController::SetRotorState: from the first tick after nowUs.
  void GiveRotorState(double rotations, double rpm, uint64_t nowUs);
  void ReleaseRotorState(uint64_t nowUs);
  double MotorVoltageBefore(uint64_t nowUs) const;

  void SetBusVoltage(double volts);
  bool SetMotorModel(const MotorModel& model);
  // Null: back to the controller's own load.
  void AttachMechanism(std::shared_ptr<Mechanism> mechanism);
  std::shared_ptr<Mechanism> GetMechanism() const { return mechanism_; }

 private:
  struct RotorInput {
    bool given = false;
    double rotations = 0.0;
    double rpm = 0.0;
  };
  // A rotor state given (or released) at sinceUs, for the first tick after it.
  struct PendingRotor {
    uint64_t sinceUs;
    RotorInput input;
  };
  // What a reboot clears.
  struct Runtime {
    MotorState motor;
    double position = 0.0;
    int chopTicksLeft = 0;  // the secondary limit holds the output off this long
    double appliedOutput = 0.0;
  };

  void TakePendingRotor(uint64_t nowUs);
  void StepGivenRotor(const MotorInput& drive, uint64_t nowUs);
  void StepChopper(const ParameterStore& params);
  MotorInput DriveOf(const DcMotor& motor, double output, const ParameterStore& params) const;
  double DriveVolts(double output, const ParameterStore& params) const;
  void TrackEncoder(double motorRotations, const ParameterStore& params);
  void UseMechanism(std::shared_ptr<Mechanism> mechanism);

  MotorModel model_;
  std::optional<double> fixedBusVoltage_;  // empty: the battery's
  double busVoltage_;
  std::shared_ptr<Mechanism> ownLoad_;
  std::shared_ptr<Mechanism> mechanism_;
  int motorSlot_ = -1;
  Runtime run_;
  bool encoderTracking_ = false;  // lastMotorRotations_ holds a reading
  double lastMotorRotations_ = 0.0;
  RotorInput rotor_;
  std::optional<PendingRotor> pendingRotor_;
  uint64_t lastTickUs_ = 0;
  double voltsBeforeLastTick_ = 0.0;
};

}  // namespace tavrix::sim::detail
