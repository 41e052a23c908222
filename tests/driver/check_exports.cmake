# Checks the dynamic symbols that libTavrixDriver.so defines: the C interface,
# the registry word and (when built) the JVM entry points must be there; apart
# from the standard library's vague-linkage symbols nothing else may be.
# Run as: cmake -DNM=<nm> -DLIBRARY=<lib> -DWITH_JNI=<ON|OFF> -P check_exports.cmake
cmake_minimum_required(VERSION 3.16)
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()

set(required
  CreateCANID ZEM_CANRegisteredDevices
  ZEM_CANTavrixHeartbeatInit ZEM_CANTavrixRunHeartbeat
  ZEM_CANTavrixRegisterDevice ZEM_CANTavrixUnregisterDevice
  ZEM_CANTavrixSetDriverInit ZEM_CANTavrixRunSetDriver
  ZEM_CANTavrixSetDriverSet4 ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs)
if(WITH_JNI)
  list(APPEND required JNI_OnLoad JNI_OnUnload
    Java_com_zemdyn_jni_CANHeartbeatJNI_HeartbeatInit
    Java_com_zemdyn_jni_CANHeartbeatJNI_RunHeartbeat
    Java_com_zemdyn_jni_CANHeartbeatJNI_RegisterDevice
    Java_com_zemdyn_jni_CANHeartbeatJNI_UnregisterDevice
    Java_com_zemdyn_jni_CANSetDriverJNI_SetDriverInit
    Java_com_zemdyn_jni_CANSetDriverJNI_RunSetDriver
    Java_com_zemdyn_jni_CANSetDriverJNI_SetDriverSet4
    Java_com_zemdyn_jni_CANSetDriverJNI_SetDriverSetCtrlFramePeriodMs)
endif()

string(REPLACE "\n" ";" lines "${listing}")
set(defined "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] (.+)$")
    list(APPEND defined "${CMAKE_MATCH_1}")
  endif()
endforeach()

set(problems "")
foreach(symbol IN LISTS required)
  if(NOT symbol IN_LIST defined)
    string(APPEND problems "  missing: ${symbol}\n")
  endif()
endforeach()
foreach(symbol IN LISTS defined)
  if(symbol IN_LIST required)
    continue()
  endif()
  # Standard-library template instances (std:: and __gnu_cxx::), the linker's
  # section markers, and what the sanitizers add are not the driver's own.
  if(symbol MATCHES "^_Z(T[ISVHW]|GV)?Z?N?K?S[tabiod]"
     OR symbol MATCHES "^_Z(T[ISVHW]|GV)?Z?N?K?9__gnu_cxx"
     OR symbol MATCHES "^(_init|_fini|_edata|_end|__bss_start)$"
     OR symbol MATCHES "^__(asan|ubsan|tsan|sanitizer|odr_asan)")
    continue()
  endif()
  string(APPEND problems "  unexpected export: ${symbol}\n")
endforeach()

if(problems)
  message(FATAL_ERROR "libTavrixDriver.so exports:\n${problems}")
endif()
list(LENGTH defined count)
message(STATUS "libTavrixDriver.so: ${count} defined dynamic symbols, all expected")
