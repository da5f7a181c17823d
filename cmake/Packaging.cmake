# Debian packages through CPack: plc-drivers (plchost, plcsim, the plug-ins in
# lib/<multiarch triple>/plc-drivers, man pages) and plc-drivers-dev (headers,
# host library, CMake package, host documentation and example). Build with
# -DCMAKE_INSTALL_PREFIX=/usr so GNUInstallDirs picks the multiarch library
# directory; scripts/package.sh does that for every architecture.
#
# A Qt 6 build (-DPLC_QT=6) makes plc-drivers-qt6 and plc-drivers-qt6-dev:
# every file they install carries PLC_NAME_SUFFIX ("-qt6") in its path
# (plchost-qt6, lib/<triple>/plc-drivers-qt6/libLib<Name>-qt6.so.1,
# libPlcDriversHost-qt6.so.1, include/plc-drivers-qt6, ...), so they install
# side by side with the Qt 5 packages.
set(plc_pkg plc-drivers${PLC_NAME_SUFFIX})
set(plc_dev_pkg plc-drivers${PLC_NAME_SUFFIX}-dev)

# Documentation files every package carries: the licence as its copyright file
# and a compressed changelog.
set(plc_changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
# The man pages under the tools' installed names; a Qt 6 build renames the
# page's title and NAME line to plchost-qt6 / plcsim-qt6 (cmake/ManPage.cmake).
set(plc_manpages ${CMAKE_BINARY_DIR}/packaging/plchost${PLC_NAME_SUFFIX}.1.gz
  ${CMAKE_BINARY_DIR}/packaging/plcsim${PLC_NAME_SUFFIX}.1.gz)
add_custom_command(OUTPUT ${plc_changelog} ${plc_manpages}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/cmake/debian/changelog > ${plc_changelog}
  COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/docs/man/plchost.1 -DTOOL=plchost
    -DSUFFIX=${PLC_NAME_SUFFIX} -DQT=${PLC_QT} -DOUT=${CMAKE_BINARY_DIR}/packaging/plchost${PLC_NAME_SUFFIX}.1
    -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
  COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/docs/man/plcsim.1 -DTOOL=plcsim
    -DSUFFIX=${PLC_NAME_SUFFIX} -DQT=${PLC_QT} -DOUT=${CMAKE_BINARY_DIR}/packaging/plcsim${PLC_NAME_SUFFIX}.1
    -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
  COMMAND gzip -9n -f ${CMAKE_BINARY_DIR}/packaging/plchost${PLC_NAME_SUFFIX}.1
  COMMAND gzip -9n -f ${CMAKE_BINARY_DIR}/packaging/plcsim${PLC_NAME_SUFFIX}.1
  DEPENDS cmake/debian/changelog docs/man/plchost.1 docs/man/plcsim.1 cmake/ManPage.cmake
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  COMMENT "Compressing changelog and man pages")
add_custom_target(packaging_docs ALL DEPENDS ${plc_changelog} ${plc_manpages})

install(FILES ${plc_manpages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
foreach(component runtime dev)
  if(component STREQUAL dev)
    set(pkg ${plc_dev_pkg})
  else()
    set(pkg ${plc_pkg})
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${pkg}
    RENAME copyright COMPONENT ${component})
  install(FILES ${plc_changelog} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${pkg} COMPONENT ${component})
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/docs/host-api.md
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${plc_dev_pkg} COMPONENT dev)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/minimal-host
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${plc_dev_pkg}/examples COMPONENT dev)

# The Debian architecture of the target, also when cross-compiling (dpkg itself
# would answer the build machine's).
set(plc_deb_arch_of_x86_64-linux-gnu amd64)
set(plc_deb_arch_of_aarch64-linux-gnu arm64)
set(plc_deb_arch_of_arm-linux-gnueabihf armhf)
set(plc_deb_arch_of_i386-linux-gnu i386)
if(DEFINED plc_deb_arch_of_${CMAKE_LIBRARY_ARCHITECTURE})
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${plc_deb_arch_of_${CMAKE_LIBRARY_ARCHITECTURE}})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${plc_pkg})
set(CPACK_PACKAGE_VENDOR "Mitsubishi PLC driver plug-ins developers")
set(CPACK_PACKAGE_CONTACT "PLC driver maintainers <plc-drivers@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${plc_pkg})
set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${plc_dev_pkg})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The Qt development package of the build's Qt (find_dependency in the CMake
# package); the run-time Qt libraries come from dpkg-shlibdeps.
if(PLC_QT STREQUAL "6")
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "qt6-base-dev")
else()
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "qtbase5-dev")
endif()
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# The host library is public: an shlibs entry for packages linking it, and the
# ldconfig trigger (CPack's own shlibs option writes ldconfig calls into the
# maintainer scripts instead, which Debian no longer wants).
file(WRITE ${CMAKE_BINARY_DIR}/packaging/dev/shlibs
  "libPlcDriversHost${PLC_NAME_SUFFIX} 1 ${plc_dev_pkg} (>= ${PROJECT_VERSION})\n")
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/dev/triggers ${CMAKE_BINARY_DIR}/packaging/dev/triggers COPYONLY)
set(CPACK_DEBIAN_DEV_PACKAGE_CONTROL_EXTRA
  ${CMAKE_BINARY_DIR}/packaging/dev/shlibs ${CMAKE_BINARY_DIR}/packaging/dev/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The descriptions name the Qt the build used; the Qt 6 ones also say what
# sets them apart from the Qt 5 packages they install next to.
if(PLC_QT STREQUAL "6")
  set(plc_desc_runtime_extra "
.
This build uses Qt 6 (${PLC_QT_VERSION}) and installs next to the Qt 5
package plc-drivers: the plug-ins are libLib<Name>-qt6.so.1 in
lib/<triple>/plc-drivers-qt6 and the tools plchost-qt6 and plcsim-qt6.
A Qt 6 host must load these plug-ins, a Qt 5 host those of plc-drivers.")
  set(plc_desc_dev_extra "
.
This build uses Qt 6 (${PLC_QT_VERSION}) and installs next to the Qt 5
package plc-drivers-dev: headers in include/plc-drivers-qt6, the library
libPlcDriversHost-qt6.so.1 and the CMake package PlcDrivers-qt6.")
else()
  set(plc_desc_runtime_extra "
.
This build uses Qt 5 (${PLC_QT_VERSION}); plc-drivers-qt6 holds the Qt 6
build, installable next to it.")
  set(plc_desc_dev_extra "
.
This build uses Qt 5 (${PLC_QT_VERSION}); plc-drivers-qt6-dev holds the
Qt 6 build, installable next to it.")
endif()
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
"Driver plug-ins for Mitsubishi PLCs with a host and a simulator tool (Qt ${PLC_QT})
Four Qt ${PLC_QT} driver plug-ins for Mitsubishi programmable controllers (FX
programming port, FX computer link, MC protocol 1E and 3E binary frames)
over a serial line or TCP, loaded at run time by a host process. The
package also holds plchost${PLC_NAME_SUFFIX}, a command-line host that reads and writes PLC
devices through a plug-in, and plcsim${PLC_NAME_SUFFIX}, a PLC simulator for all four
protocols.${plc_desc_runtime_extra}")
set(CPACK_COMPONENT_DEV_DESCRIPTION
"Development files for hosts of the Mitsubishi PLC driver plug-ins (Qt ${PLC_QT})
The driver interface and value container headers, the host library with the
value container code and its metatype registration, the CMake package
PlcDrivers${PLC_NAME_SUFFIX} (target PlcDrivers::Host), the host API documentation and an
example host.${plc_desc_dev_extra}")
include(CPack)
