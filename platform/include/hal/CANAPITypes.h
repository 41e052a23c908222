/* Device types and manufacturer codes of the CAN device API. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
#define HAL_CAN_ENUM(name) enum name : int32_t
#else
#define HAL_CAN_ENUM(name) \
  typedef int32_t name;    \
  enum name
#endif

HAL_CAN_ENUM(HAL_CANDeviceType){
    HAL_CAN_Dev_kBroadcast = 0,         HAL_CAN_Dev_kRobotController = 1,
    HAL_CAN_Dev_kMotorController = 2,   HAL_CAN_Dev_kRelayController = 3,
    HAL_CAN_Dev_kGyroSensor = 4,        HAL_CAN_Dev_kAccelerometer = 5,
    HAL_CAN_Dev_kUltrasonicSensor = 6,  HAL_CAN_Dev_kGearToothSensor = 7,
    HAL_CAN_Dev_kPowerDistribution = 8, HAL_CAN_Dev_kPneumatics = 9,
    HAL_CAN_Dev_kMiscellaneous = 10,    HAL_CAN_Dev_kFirmwareUpdate = 31};

/* Only the codes the stand-in itself uses are named; callers pass any other
 * manufacturer code by casting an int. */
HAL_CAN_ENUM(HAL_CANManufacturer){HAL_CAN_Man_kBroadcast = 0, HAL_CAN_Man_kTeamUse = 8};

#undef HAL_CAN_ENUM
