// The object robot code holds for one controller on the CAN bus: a WPILib
// speed controller with telemetry, faults, ramp rates, current limits, voltage
// compensation, idle mode, follower mode and the encoder, closed-loop and
// limit-switch views.
//
// Threads, allocation and failures as for CANTavrixLowLevel: one thread at a
// time per object and its views, no lock, nothing throws. Costs: Set and the
// other speed-controller calls only store (Set hands the setpoint to the
// driver, which repeats it every control-frame period); status getters return
// at once; setters send their frames and await nothing; the getters of
// settings read parameters and block up to the CAN timeout each (20 ms by
// default, SetCANTimeout), returning the stated fallback when no answer came.
#pragma once

#include <cstdint>

#include "tavrix/CANDigitalInput.h"
#include "tavrix/CANEncoder.h"
#include "tavrix/CANPIDController.h"
#include "tavrix/CANTavrixLowLevel.h"

namespace zem {

class CANTavrix : public CANTavrixLowLevel {
 public:
  // What the controller does with its output while it is not driven; the
  // controller gives the values their meaning.
  enum class IdleMode : int32_t { kIdleMode0 = 0, kIdleMode1 = 1 };

  // Bit index into the fault words of status frame 0.
  enum class FaultID : int32_t {
    kFaultBit0 = 0,
    kFaultBit1 = 1,
    kFaultBit2 = 2,
    kFaultBit3 = 3,
    kFaultBit4 = 4,
    kFaultBit5 = 5,
    kFaultBit6 = 6,
    kFaultBit7 = 7,
    kFaultBit8 = 8,
    kFaultBit9 = 9,
    kFaultBit10 = 10,
    kFaultBit11 = 11,
    kFaultBit12 = 12,
    kFaultBit13 = 13,
    kForwardLimitSwitch = wire::kForwardLimitFaultBit,
    kReverseLimitSwitch = wire::kReverseLimitFaultBit
  };

  // A leader to follow: the arbitration id (device number 0) of the leader's
  // frame the follower watches, and a code for the kind of leader.
  struct ExternalFollower {
    uint32_t leaderFrameId;
    uint32_t leaderKind;
  };

  // A leader of this controller's own kind: its status frame 0.
  static const ExternalFollower kFollowerTavrix;

  // Blocks like the CANTavrixLowLevel constructor (about 100 ms at most, for
  // a silent controller), then writes both conversion factors as 1.0 and
  // clears the faults, awaiting nothing.
  CANTavrix(int deviceID, MotorType type);
  // Sends nothing: stop the motor first, or its last setpoint keeps going out.
  ~CANTavrix() override = default;

  CANTavrix(const CANTavrix&) = delete;
  CANTavrix& operator=(const CANTavrix&) = delete;

  // frc::SpeedController. None waits or sends on the caller's thread: Set
  // (and Disable, StopMotor, PIDWrite, which set 0.0 or the output) stores
  // the value for Get and hands it to the driver as a control type 0
  // setpoint; SetInverted only stores the flag for the next commands and reads.
  void Set(double speed) override;
  double Get() const override;
  void SetInverted(bool isInverted) override;
  bool GetInverted() const override;
  void Disable() override;
  void StopMotor() override;
  void PIDWrite(double output) override;

  // Views bound to this object; valid while it lives.
  CANEncoder GetEncoder();
  CANPIDController GetPIDController();
  CANDigitalInput GetForwardLimitSwitch(CANDigitalInput::LimitSwitchPolarity polarity);
  CANDigitalInput GetReverseLimitSwitch(CANDigitalInput::LimitSwitchPolarity polarity);

  // Setters: one frame per parameter written, no reply awaited; kSuccess
  // (the controller acknowledges no write).
  CANError SetSmartCurrentLimit(unsigned int limit);
  CANError SetSmartCurrentLimit(unsigned int stallLimit, unsigned int freeLimit,
                                unsigned int limitRPM);
  CANError SetSecondaryCurrentLimit(double limit, int limitCycles = 0);

  CANError SetIdleMode(IdleMode mode);
  // Blocks up to the CAN timeout; kIdleMode1 when no answer came.
  IdleMode GetIdleMode();

  CANError EnableVoltageCompensation(double nominalVoltage);
  CANError DisableVoltageCompensation();
  // Blocks up to the CAN timeout; 0.0 when no answer came.
  double GetVoltageCompensationNominalVoltage();

  // Ramp rates cross this interface as the reciprocal of what the controller
  // stores; 0 stays 0. The getters block up to the CAN timeout and give 0.0
  // when no answer came.
  CANError SetOpenLoopRampRate(double rate);
  CANError SetClosedLoopRampRate(double rate);
  double GetOpenLoopRampRate();
  double GetClosedLoopRampRate();

  // Blocks up to the CAN timeout for the controller's echo of the command:
  // kNoReply when none came, kFailed when it was short or differed.
  CANError Follow(const CANTavrix& leader, bool invert = false);
  CANError Follow(ExternalFollower leader, int deviceID, bool invert = false);
  // From status frame 0: returns at once, false when no frame came.
  bool IsFollower();

  // Status getters (frame 0: faults, applied output; frame 1: bus voltage,
  // current, temperature): return at once with the newest frame's field, 0
  // when that is older than the CAN timeout plus two frame periods or none
  // came. Each makes its own read; GetStatusFrameAgeMs tells a silent
  // controller from a zero.
  uint16_t GetFaults();
  uint16_t GetStickyFaults();
  bool GetFault(FaultID faultID);
  bool GetStickyFault(FaultID faultID);

  double GetBusVoltage();
  double GetAppliedOutput();
  double GetOutputCurrent();
  double GetMotorTemperature();

  // One frame each, no reply awaited; always kSuccess.
  CANError ClearFaults();
  CANError BurnFlash();
  // Stores the timeout of later reply waits (and the base of the status
  // frames' staleness limit); zero or negative makes them look once without
  // waiting. Sends nothing; always kSuccess.
  CANError SetCANTimeout(int milliseconds);

 private:
  friend class CANEncoder;
  friend class CANPIDController;
  friend class CANDigitalInput;

  // kSuccess for a write or read that gave kOK, else kFailed.
  static CANError ToCANError(ParameterStatus status);
  // A float parameter widened to double; 0.0 when the read fails.
  double GetFloatParameterOrZero(ConfigParameter parameterId);
  CANError SetReciprocal(ConfigParameter parameterId, double rate);
  double GetReciprocal(ConfigParameter parameterId);

  double setpoint = 0.0;
};

}  // namespace zem
