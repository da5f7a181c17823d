# The installed tree of a build (cmake -P, run by CTest as install_layout):
#   cmake -DBUILD=<build dir> -DWORK=<scratch dir> -DSUFFIX=<PLC_NAME_SUFFIX> -P check_layout.cmake
# Installs every component into WORK and checks the names a Qt 5 and a Qt 6
# build must not share: with a SUFFIX ("-qt6") every installed path carries it,
# without one no path carries "-qt6". So the packages of both builds install
# side by side. It also checks that the files hosts and scripts rely on are
# there under the build's names.
file(REMOVE_RECURSE "${WORK}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${WORK}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install_layout: cmake --install failed (${rc}):\n${out}${err}")
endif()

file(GLOB_RECURSE files RELATIVE "${WORK}" LIST_DIRECTORIES false "${WORK}/*")
list(SORT files)
list(LENGTH files count)
if(count EQUAL 0)
  message(FATAL_ERROR "install_layout: nothing was installed")
endif()
set(bad "")
foreach(f IN LISTS files)
  string(FIND "${f}" "-qt6" at)
  if(SUFFIX STREQUAL "" AND NOT at EQUAL -1)
    list(APPEND bad "${f} (a Qt 5 build installs no -qt6 name)")
  elseif(NOT SUFFIX STREQUAL "")
    string(FIND "${f}" "${SUFFIX}" at)
    if(at EQUAL -1)
      list(APPEND bad "${f} (no ${SUFFIX} in the path: it would collide with the Qt 5 packages)")
    endif()
  endif()
endforeach()

# The files every host and script looks for, under this build's names.
set(S "${SUFFIX}")
set(expected
  "bin/plchost${S}" "bin/plcsim${S}"
  "share/man/man1/plchost${S}.1.gz" "share/man/man1/plcsim${S}.1.gz"
  "/libPlcDriversHost${S}.so.1"
  "include/plc-drivers${S}/CDriveBaseClass.h" "include/plc-drivers${S}/CLabelVariable.h"
  "/cmake/PlcDrivers${S}/PlcDrivers${S}Config.cmake"
  "/cmake/PlcDrivers${S}/PlcDrivers${S}ConfigVersion.cmake"
  "/cmake/PlcDrivers${S}/PlcDrivers${S}Targets.cmake"
  "share/doc/plc-drivers${S}/copyright" "share/doc/plc-drivers${S}-dev/host-api.md")
foreach(p Kelvaro Lunetta Marrowin Norvessa)
  list(APPEND expected "/plc-drivers${S}/libLib${p}${S}.so.1")
endforeach()
foreach(e IN LISTS expected)
  set(found FALSE)
  foreach(f IN LISTS files)
    string(FIND "${f}" "${e}" at)
    # A leading "/" matches anywhere below lib/ (the multiarch directory may
    # or may not be there); otherwise the path must start with it.
    if((e MATCHES "^/" AND NOT at EQUAL -1) OR at EQUAL 0)
      set(found TRUE)
      break()
    endif()
  endforeach()
  if(NOT found)
    list(APPEND bad "missing: ${e}")
  endif()
endforeach()

if(bad)
  list(JOIN bad "\n  " text)
  list(JOIN files "\n  " all)
  message(FATAL_ERROR "install_layout: ${count} files installed, wrong names:\n  ${text}\ninstalled:\n  ${all}")
endif()
message(STATUS "install_layout: ${count} files installed, names fit the build (suffix \"${SUFFIX}\")")
file(REMOVE_RECURSE "${WORK}")
