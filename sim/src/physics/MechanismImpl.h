// The shared part of a mechanism that the simulated controllers drive: the
// shaft, its motor slots (one per attached controller) and its clock.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "Shaft.h"
#include "tavrix/sim/Mechanisms.h"

namespace tavrix::sim {

struct Mechanism::Impl {
  static constexpr uint64_t kStepUs = 1000;
  // A mechanism left behind longer than this jumps instead of replaying.
  static constexpr uint64_t kMaxCatchUpSteps = 100;

  // What a controller learns from its motor after a drive.
  struct MotorReport {
    detail::MotorResult result;
    double motorRpm = 0.0;
    double motorRotations = 0.0;  // absolute, from the shaft angle
  };

  explicit Impl(const detail::ShaftModel& m) : model(m) {}

  // A slot for one more motor (allocates); -1 never happens but callers check.
  int AddMotor();
  void RemoveMotor(int slot);
  // Sets the slot's input for the steps to come, advances the mechanism to
  // nowUs (one step per millisecond since it last moved) and reports the motor.
  MotorReport Drive(int slot, const detail::MotorInput& input, uint64_t nowUs);

  // The state in the mechanism's units, within its stops; false for a non-finite value.
  bool SetState(const MechanismState& s);
  void Step(double dtS);
  MotorReport ReportOf(size_t slot) const;

  mutable std::mutex mutex;
  const detail::ShaftModel model;
  detail::ShaftState state;
  PhysicsHook hook;
  std::vector<detail::MotorInput> inputs;
  std::vector<detail::MotorResult> results;
  bool started = false;
  uint64_t timeUs = 0;
};

}  // namespace tavrix::sim
