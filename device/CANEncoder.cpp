// The encoder view: status-frame position and velocity, the encoder-position
// command and the two conversion-factor parameters.
#include "tavrix/CANEncoder.h"

#include "tavrix/CANTavrix.h"

namespace zem {

namespace {

using Parameter = CANTavrixLowLevel::ConfigParameter;
}  // namespace

CANEncoder::CANEncoder(CANTavrix& owner) : device(owner) {}

double CANEncoder::GetPosition() { return device.GetPeriodicStatus2().position; }

double CANEncoder::GetVelocity() { return device.GetPeriodicStatus1().velocity; }

CANError CANEncoder::SetPosition(double position) { return device.SetEncPosition(position); }

CANError CANEncoder::SetPositionConversionFactor(double factor) {
  return CANTavrix::ToCANError(device.SetParameter(Parameter::kPositionConversionFactor, factor));
}

CANError CANEncoder::SetVelocityConversionFactor(double factor) {
  return CANTavrix::ToCANError(device.SetParameter(Parameter::kVelocityConversionFactor, factor));
}

double CANEncoder::GetPositionConversionFactor() {
  return device.GetFloatParameterOrZero(Parameter::kPositionConversionFactor);
}

double CANEncoder::GetVelocityConversionFactor() {
  return device.GetFloatParameterOrZero(Parameter::kVelocityConversionFactor);
}

}  // namespace zem
