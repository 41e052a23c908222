# Installation and the CMake package: `cmake --install <build> --prefix <dir>`
# puts the libraries, the public headers, the trace decoder and a package
# config in the prefix, and `find_package(Tavrix CONFIG)` then gives the
# imported targets Tavrix::Tavrix, Tavrix::TavrixDriver, the platform stand-in
# (Tavrix::wpiutil, Tavrix::wpiHal, Tavrix::wpilibc) and the simulated
# controller (Tavrix::TavrixSim); built with TAVRIX_REAL_WPILIB, only the first
# two, which link WPILib's own package. With TAVRIX_BUILD_JNI (the default) the driver's jar
# goes to <prefix>/share/java and the package names it in Tavrix_JAR.
include(CMakePackageConfigHelpers)

set(TAVRIX_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tavrix)

# The libraries name their include directories by source path; in the package
# the same headers live under the prefix's include directory. Each source path
# is kept for the build tree only, and the installed include directory added.
function(tavrix_install_include_dirs target)
  get_target_property(dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
  if(NOT dirs)
    return()
  endif()
  set(rewritten "")
  foreach(dir IN LISTS dirs)
    if(dir MATCHES "^\\$<" OR NOT IS_ABSOLUTE "${dir}")
      list(APPEND rewritten "${dir}")
    else()
      list(APPEND rewritten "$<BUILD_INTERFACE:${dir}>")
    endif()
  endforeach()
  list(APPEND rewritten "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")
  list(REMOVE_DUPLICATES rewritten)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${rewritten}")
endfunction()

if(TAVRIX_REAL_WPILIB)
  set(TAVRIX_PACKAGE_TARGETS TavrixDriver Tavrix)
  if(TARGET TavrixSim)
    list(APPEND TAVRIX_PACKAGE_TARGETS TavrixSim)
  endif()
else()
  set(TAVRIX_PACKAGE_TARGETS wpiutil wpiHal wpilibc TavrixDriver Tavrix TavrixSim)
endif()
# Installed libraries find each other beside themselves. Against the real
# WPILib each also carries WPILib's library folder: the loader looks for a
# library's dependencies in that library's own run path only (a program's run
# path does not serve them), so without it a program fails to load
# libwpilibc.so unless LD_LIBRARY_PATH names the folder.
set(TAVRIX_INSTALL_RPATH "$ORIGIN")
if(TAVRIX_REAL_WPILIB)
  list(APPEND TAVRIX_INSTALL_RPATH "${wpilib_LIBRARY_DIR}")
endif()
foreach(target ${TAVRIX_PACKAGE_TARGETS})
  tavrix_install_include_dirs(${target})
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "${TAVRIX_INSTALL_RPATH}")
endforeach()

install(TARGETS ${TAVRIX_PACKAGE_TARGETS}
  EXPORT TavrixTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Public headers: the library's, the platform stand-in's (WPILib's paths) and
# the simulated controller's, merged under one include directory. Against the
# real WPILib only the library's: the platform's come from its own package.
# The device library's adapter headers for the WPILib version built against go
# with them (as tavrix/adapter/...).
if(TAVRIX_REAL_WPILIB)
  set(TAVRIX_HEADER_DIRS include device/adapter/wpilib${TAVRIX_WPILIB_FLAVOUR})
  if(TARGET TavrixSim)
    list(APPEND TAVRIX_HEADER_DIRS sim/include)
  endif()
else()
  set(TAVRIX_HEADER_DIRS include device/adapter/wpilib${TAVRIX_WPILIB_FLAVOUR} platform/include
                         sim/include)
endif()
foreach(dir ${TAVRIX_HEADER_DIRS})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
    FILES_MATCHING PATTERN "*.h")
endforeach()

install(TARGETS tavrix-decode RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The jar of the driver's Java classes; the native library beside it is libTavrixDriver.
set(TAVRIX_JAR_INSTALL_PATH ${CMAKE_INSTALL_DATADIR}/java/tavrix-driver.jar)
set(TAVRIX_LIBDIR_INSTALL_PATH ${CMAKE_INSTALL_LIBDIR})
if(TAVRIX_BUILD_JNI)
  set(TAVRIX_HAS_JAR TRUE)
  install(FILES ${TAVRIX_DRIVER_JAR} DESTINATION ${CMAKE_INSTALL_DATADIR}/java)
else()
  set(TAVRIX_HAS_JAR FALSE)
endif()

# The Java object API (java/api, WPILib 2026 with its Java side): its jar is
# installed by java/api; the package names it in Tavrix_JAVA_JAR, and its native
# libraries sit in the library folder, Tavrix_JAVA_LIBRARY_PATH.
set(TAVRIX_JAVA_JAR_INSTALL_PATH ${CMAKE_INSTALL_DATADIR}/java/tavrix-java.jar)
if(TAVRIX_JAVA_API)
  set(TAVRIX_HAS_JAVA_API TRUE)
else()
  set(TAVRIX_HAS_JAVA_API FALSE)
endif()

install(EXPORT TavrixTargets
  NAMESPACE Tavrix::
  FILE TavrixTargets.cmake
  DESTINATION ${TAVRIX_INSTALL_CMAKEDIR})

# A package built against the real WPILib finds that same version again, by
# default where this build found it; a 2026 package asks C++20 of its
# consumers, as WPILib 2026's own targets do.
if(TAVRIX_REAL_WPILIB)
  set(TAVRIX_WPILIB_DEPENDENCY "if(NOT wpilib_DIR)\n  set(wpilib_DIR \"${wpilib_DIR}\")\nendif()\nfind_dependency(wpilib ${wpilib_VERSION} EXACT CONFIG)")
else()
  set(TAVRIX_WPILIB_DEPENDENCY "")
endif()
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/TavrixConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/TavrixConfig.cmake
  INSTALL_DESTINATION ${TAVRIX_INSTALL_CMAKEDIR}
  PATH_VARS TAVRIX_JAR_INSTALL_PATH TAVRIX_LIBDIR_INSTALL_PATH TAVRIX_JAVA_JAR_INSTALL_PATH)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/TavrixConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/TavrixConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/TavrixConfigVersion.cmake
  DESTINATION ${TAVRIX_INSTALL_CMAKEDIR})
