# Debian packages through CPack: plc-drivers (plchost, plcsim, the plug-ins in
# lib/<multiarch triple>/plc-drivers, man pages) and plc-drivers-dev (headers,
# host library, CMake package, host documentation and example). Build with
# -DCMAKE_INSTALL_PREFIX=/usr so GNUInstallDirs picks the multiarch library
# directory; scripts/package.sh does that for every architecture.

# Documentation files every package carries: the licence as its copyright file
# and a compressed changelog.
set(plc_changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
set(plc_manpages ${CMAKE_BINARY_DIR}/packaging/plchost.1.gz ${CMAKE_BINARY_DIR}/packaging/plcsim.1.gz)
add_custom_command(OUTPUT ${plc_changelog} ${plc_manpages}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/cmake/debian/changelog > ${plc_changelog}
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/docs/man/plchost.1 > ${CMAKE_BINARY_DIR}/packaging/plchost.1.gz
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/docs/man/plcsim.1 > ${CMAKE_BINARY_DIR}/packaging/plcsim.1.gz
  DEPENDS cmake/debian/changelog docs/man/plchost.1 docs/man/plcsim.1
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  COMMENT "Compressing changelog and man pages")
add_custom_target(packaging_docs ALL DEPENDS ${plc_changelog} ${plc_manpages})

install(FILES ${plc_manpages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
foreach(component runtime dev)
  if(component STREQUAL dev)
    set(pkg plc-drivers-dev)
  else()
    set(pkg plc-drivers)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${pkg}
    RENAME copyright COMPONENT ${component})
  install(FILES ${plc_changelog} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${pkg} COMPONENT ${component})
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/docs/host-api.md
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/plc-drivers-dev COMPONENT dev)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/minimal-host
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/plc-drivers-dev/examples COMPONENT dev)

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
set(CPACK_PACKAGE_NAME plc-drivers)
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
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME plc-drivers)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME plc-drivers-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "qtbase5-dev")
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# The host library is public: an shlibs entry for packages linking it, and the
# ldconfig trigger (CPack's own shlibs option writes ldconfig calls into the
# maintainer scripts instead, which Debian no longer wants).
file(WRITE ${CMAKE_BINARY_DIR}/packaging/dev/shlibs
  "libPlcDriversHost 1 plc-drivers-dev (>= ${PROJECT_VERSION})\n")
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/dev/triggers ${CMAKE_BINARY_DIR}/packaging/dev/triggers COPYONLY)
set(CPACK_DEBIAN_DEV_PACKAGE_CONTROL_EXTRA
  ${CMAKE_BINARY_DIR}/packaging/dev/shlibs ${CMAKE_BINARY_DIR}/packaging/dev/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
"Driver plug-ins for Mitsubishi PLCs with a host and a simulator tool
Four Qt 5 driver plug-ins for Mitsubishi programmable controllers (FX
programming port, FX computer link, MC protocol 1E and 3E binary frames)
over a serial line or TCP, loaded at run time by a host process. The
package also holds plchost, a command-line host that reads and writes PLC
devices through a plug-in, and plcsim, a PLC simulator for all four
protocols.")
set(CPACK_COMPONENT_DEV_DESCRIPTION
"Development files for hosts of the Mitsubishi PLC driver plug-ins
The driver interface and value container headers, the host library with the
value container code and its metatype registration, the CMake package
PlcDrivers (target PlcDrivers::Host), the host API documentation and an
example host.")
include(CPack)
