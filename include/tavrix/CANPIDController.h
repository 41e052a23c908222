// A view of one controller's closed loop: gains and limits of the four gain
// slots, the motion-profile settings, the integral accumulator and the
// reference. Holds only a reference to its device, which must outlive it;
// used under the device's threading rule (one thread at a time for the device
// and all its views). Allocates nothing; nothing throws.
//
// Slots are 0..3: a setter given another slot returns kFailed and a getter
// 0.0 (AccelStrategy 0), with no frame sent. Otherwise a setter sends one
// frame per parameter, awaits nothing and returns kSuccess; a getter reads
// one parameter, blocking up to the device's CAN timeout (20 ms by default),
// and gives 0.0 when no answer came.
#pragma once

#include <cstdint>

#include "tavrix/CANTavrixLowLevel.h"

namespace zem {

class CANTavrix;

class CANPIDController {
 public:
  // Stored in a slot's accel-strategy parameter as a float; the controller
  // gives the values their meaning.
  enum class AccelStrategy : int32_t { kAccelStrategy0 = 0, kAccelStrategy1 = 1 };

  explicit CANPIDController(CANTavrix& owner);

  // Commands a setpoint of any control type; the device's Get() is untouched.
  // Only stores: the driver repeats it every control-frame period. kFailed,
  // nothing stored, for a control type outside 0..6.
  // For control types 1..6 a value that is NaN, infinite or beyond the float
  // range, or a NaN or infinite feed-forward, is refused with kFailed and the
  // previous setpoint keeps going out; for type 0 it goes out as 0.0.
  CANError SetReference(double value, ControlType ctrl, int pidSlot = 0,
                        double arbFeedforward = 0.0);

  CANError SetP(double gain, int slotID = 0);
  CANError SetI(double gain, int slotID = 0);
  CANError SetD(double gain, int slotID = 0);
  // Clamped into [0, 1].
  CANError SetDFilter(double gain, int slotID = 0);
  CANError SetFF(double gain, int slotID = 0);
  CANError SetIZone(double IZone, int slotID = 0);
  // Mirrored (negated, ends swapped) while the device is inverted.
  CANError SetOutputRange(double min, double max, int slotID = 0);

  double GetP(int slotID = 0);
  double GetI(int slotID = 0);
  double GetD(int slotID = 0);
  double GetDFilter(int slotID = 0);
  double GetFF(int slotID = 0);
  double GetIZone(int slotID = 0);
  double GetOutputMin(int slotID = 0);
  double GetOutputMax(int slotID = 0);

  CANError SetSmartMotionMaxVelocity(double maxVel, int slotID = 0);
  CANError SetSmartMotionMaxAccel(double maxAccel, int slotID = 0);
  CANError SetSmartMotionMinOutputVelocity(double minVel, int slotID = 0);
  CANError SetSmartMotionAllowedClosedLoopError(double allowedErr, int slotID = 0);
  CANError SetSmartMotionAccelStrategy(AccelStrategy accelStrategy, int slotID = 0);

  double GetSmartMotionMaxVelocity(int slotID = 0);
  double GetSmartMotionMaxAccel(int slotID = 0);
  double GetSmartMotionMinOutputVelocity(int slotID = 0);
  double GetSmartMotionAllowedClosedLoopError(int slotID = 0);
  AccelStrategy GetSmartMotionAccelStrategy(int slotID = 0);

  CANError SetIMaxAccum(double iMaxAccum, int slotID = 0);
  double GetIMaxAccum(int slotID = 0);
  // One frame, no reply awaited; always kSuccess.
  CANError SetIAccum(double iAccum);
  // From status frame 2: returns at once, 0.0 when no fresh frame came.
  double GetIAccum();

 private:
  using ConfigParameter = CANTavrixLowLevel::ConfigParameter;

  // slot0Id names a per-slot parameter; the catalogue gives its stride.
  CANError SetSlotFloat(ConfigParameter slot0Id, double value, int slotID);
  double GetSlotFloat(ConfigParameter slot0Id, int slotID);

  CANTavrix& device;
};

}  // namespace zem
