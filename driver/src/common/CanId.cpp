// The exported arbitration-id composer.
#include <tavrix/TavrixDriver.h>
#include <tavrix/Wire.h>

uint32_t CreateCANID(int32_t deviceNumber, int32_t apiId) {
  return zem::wire::ComposeId(deviceNumber, apiId);
}
