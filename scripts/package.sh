#!/usr/bin/env bash
# Makes the Debian packages of one build directory and checks them with lintian:
# plc-drivers_<version>_<arch>.deb (tools, plug-ins, man pages) and
# plc-drivers-dev_<version>_<arch>.deb (headers, host library, CMake package);
# of a Qt 6 build (-DPLC_QT=6) plc-drivers-qt6 and plc-drivers-qt6-dev, which
# install side by side with the Qt 5 ones.
#
#   scripts/package.sh [BUILD_DIR]        default <repo>/build
#
# The build directory must be built and configured with
# -DCMAKE_INSTALL_PREFIX=/usr (so the libraries land in lib/<multiarch triple>);
# a cross build with its toolchain file from cmake/toolchains/. The packages
# are left in BUILD_DIR/packages/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
bash "$root/scripts/install-deps.sh" package

prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
if [ "$prefix" != /usr ]; then
  echo "package: $build is configured for $prefix; packages need -DCMAKE_INSTALL_PREFIX=/usr" >&2
  exit 1
fi
arch=$(sed -n 's/^set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[ -n "$arch" ] || { echo "package: no Debian architecture known for $build" >&2; exit 1; }

# Up to date (a no-op after a full build), the packaging files included.
cmake --build "$build" -j"$(nproc)" >/dev/null

out=$build/packages
rm -rf "$out"
# dpkg-shlibdeps looks up the libraries of the package's architecture, not the
# build machine's.
(cd "$build" && DEB_HOST_ARCH=$arch cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out.log" 2>&1) ||
  { cat "$out.log" >&2; exit 1; }

status=0
for deb in "$out"/*.deb; do
  echo "== $(basename "$deb")"
  dpkg-deb --field "$deb" Package Architecture Depends | sed 's/^/   /'
  dpkg-deb --field "$deb" Description | head -n 1 | sed 's/^/   Description: /'
  # Errors fail the run; warnings are printed for the record.
  if ! lintian --fail-on error --tag-display-limit 0 "$deb"; then
    status=1
  fi
done
[ $status -eq 0 ] && echo "package: $arch packages made, lintian shows no errors"
exit $status
