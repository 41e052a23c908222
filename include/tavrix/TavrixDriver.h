/* The bus driver's C interface: CAN id composition, the device registry and
 * heartbeat thread, and the setpoint sender thread. Every function has C
 * linkage and an unmangled name; this header compiles as C and as C++.
 *
 * Threads: every function may be called from any thread. The registry and
 * setpoint calls take a short lock of their own, never held across a send or
 * a wait; none of them waits for the bus. Allocation (the driver's own): only
 * the two Run functions, which start a thread on their first call. Failures:
 * reported by none; arguments out of range are ignored as stated below. */
#ifndef TAVRIX_DRIVER_H
#define TAVRIX_DRIVER_H

#include <stdint.h>

#if defined(TAVRIX_DRIVER_BUILDING)
#define TAVRIX_DRIVER_API __attribute__((visibility("default")))
#else
#define TAVRIX_DRIVER_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Arbitration id of a frame: 0x02050000 | (apiId & 0x3FF) << 6 | (deviceNumber & 0x3F). */
TAVRIX_DRIVER_API uint32_t CreateCANID(int32_t deviceNumber, int32_t apiId);

/* The registry word: bit d is set while device number d (1..62) is registered.
 * A plain 64-bit word in size and meaning; the library reads and writes it
 * atomically, and so should anyone else who touches it while threads run. */
TAVRIX_DRIVER_API extern uint64_t ZEM_CANRegisteredDevices;

/* Start-up sweep: stops any repetition of setpoint ids of devices 0..62 and
 * sends each of them one all-zero setpoint frame. Makes those 504 platform
 * CAN calls on the caller's thread, holding no lock. */
TAVRIX_DRIVER_API void ZEM_CANTavrixHeartbeatInit(void);
/* Starts the heartbeat thread once per process; returns 1. */
TAVRIX_DRIVER_API int32_t ZEM_CANTavrixRunHeartbeat(void);
/* Set or clear a device's registry bit; numbers outside 1..62 are ignored. */
TAVRIX_DRIVER_API void ZEM_CANTavrixRegisterDevice(int32_t deviceNumber);
TAVRIX_DRIVER_API void ZEM_CANTavrixUnregisterDevice(int32_t deviceNumber);

/* Part of the start sequence; does nothing. */
TAVRIX_DRIVER_API void ZEM_CANTavrixSetDriverInit(void);
/* Starts the setpoint thread once per process; returns 0. */
TAVRIX_DRIVER_API int32_t ZEM_CANTavrixRunSetDriver(void);
/* Stores a device's setpoint frame content; numbers outside 1..62 are ignored.
 * Nothing is sent here: the setpoint thread sends it when the device is next
 * due, and every frame carries the four values of one single call. */
TAVRIX_DRIVER_API void ZEM_CANTavrixSetDriverSet4(int32_t deviceNumber, float value, int32_t apiId,
                                                  uint8_t pidSlot, int16_t auxWord);
/* Sets a device's control-frame period; 0 or a negative period stops its
 * frames. Numbers outside 1..62 are ignored. */
TAVRIX_DRIVER_API void ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(int32_t deviceNumber,
                                                                  int32_t periodMs);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TAVRIX_DRIVER_H */
