# Cross build for 64-bit ARM gateways (Debian arm64) with Debian's cross
# compiler and the multiarch Qt packages (qtbase5-dev:arm64,
# libqt5serialport5-dev:arm64); moc comes from the build machine's Qt tools.
# Test programs run under qemu-user through CTest.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
# GNUInstallDirs leaves out the multiarch directory when cross-compiling; the
# Debian packages need it (lib/<triple>, plug-ins in lib/<triple>/plc-drivers).
set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH "Object code libraries")
