// The object robot code holds for one controller on the CAN bus: a WPILib
// speed controller with telemetry, faults, ramp rates, current limits, voltage
// compensation, idle mode, follower mode and the encoder, closed-loop and
// limit-switch views.
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
    kForwardLimitSwitch = 14,
    kReverseLimitSwitch = 15
  };

  // A leader to follow: the arbitration id (device number 0) of the leader's
  // frame the follower watches, and a code for the kind of leader.
  struct ExternalFollower {
    uint32_t leaderFrameId;
    uint32_t leaderKind;
  };

  // A leader of this controller's own kind: its status frame 0.
  static const ExternalFollower kFollowerTavrix;

  CANTavrix(int deviceID, MotorType type);
  ~CANTavrix() override = default;

  CANTavrix(const CANTavrix&) = delete;
  CANTavrix& operator=(const CANTavrix&) = delete;

  // frc::SpeedController
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

  CANError SetSmartCurrentLimit(unsigned int limit);
  CANError SetSmartCurrentLimit(unsigned int stallLimit, unsigned int freeLimit,
                                unsigned int limitRPM);
  CANError SetSecondaryCurrentLimit(double limit, int limitCycles = 0);

  CANError SetIdleMode(IdleMode mode);
  IdleMode GetIdleMode();

  CANError EnableVoltageCompensation(double nominalVoltage);
  CANError DisableVoltageCompensation();
  double GetVoltageCompensationNominalVoltage();

  // Ramp rates cross this interface as the reciprocal of what the controller
  // stores; 0 stays 0.
  CANError SetOpenLoopRampRate(double rate);
  CANError SetClosedLoopRampRate(double rate);
  double GetOpenLoopRampRate();
  double GetClosedLoopRampRate();

  CANError Follow(const CANTavrix& leader, bool invert = false);
  CANError Follow(ExternalFollower leader, int deviceID, bool invert = false);
  bool IsFollower();

  uint16_t GetFaults();
  uint16_t GetStickyFaults();
  bool GetFault(FaultID faultID);
  bool GetStickyFault(FaultID faultID);

  double GetBusVoltage();
  double GetAppliedOutput();
  double GetOutputCurrent();
  double GetMotorTemperature();

  CANError ClearFaults();
  CANError BurnFlash();
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
