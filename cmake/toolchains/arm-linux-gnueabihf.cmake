# Cross build for 32-bit ARM gateways (Debian armhf: ARMv7, hard float) with
# Debian's cross compiler and the multiarch Qt packages (qtbase5-dev:armhf,
# libqt5serialport5-dev:armhf); moc comes from the build machine's Qt tools.
# Test programs run under qemu-user through CTest.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
# GCC notes that the argument passing of some aggregates changed in GCC 7;
# everything here is built with one compiler, so the note says nothing.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm)
# GNUInstallDirs leaves out the multiarch directory when cross-compiling; the
# Debian packages need it (lib/<triple>, plug-ins in lib/<triple>/plc-drivers).
set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH "Object code libraries")
