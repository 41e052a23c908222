/* The driver's interface header used from C: compiles as C11 with strict
 * warnings and links against the library. Exits non-zero on a wrong result. */
#include <stdint.h>

#include <tavrix/TavrixDriver.h>

int main(void) {
  if (CreateCANID(3, 770) != 0x0205C083u) return 1;
  if (CreateCANID(70, 5) != 0x02050146u) return 2;
  ZEM_CANTavrixRegisterDevice(3);
  ZEM_CANTavrixRegisterDevice(63);
  if (ZEM_CANRegisteredDevices != UINT64_C(0x8)) return 3;
  ZEM_CANTavrixUnregisterDevice(3);
  if (ZEM_CANRegisteredDevices != 0) return 4;
  ZEM_CANTavrixSetDriverInit();
  ZEM_CANTavrixSetDriverSet4(3, 0.5f, 2, (uint8_t)1, (int16_t)100);
  ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(3, 10);
  return 0;
}
