#!/usr/bin/env bash
# Installs the Debian packages a job needs, only those that are missing. Runs
# as root (or through sudo when available).
#
#   install-deps.sh [GROUP|PACKAGE]...
#
# Without arguments: what the build and the test suite need (g++, cmake, Qt 5),
# nothing more; the GCC sanitizers come with g++. Groups add to that:
#   qt6      Qt 6 Core, Network, Serial Port and Test with moc, for a build with
#            -DPLC_QT=6 (qt6-serialport-dev is the package that provides
#            libqt6serialport6-dev)
#   fuzz     clang and its runtime (libFuzzer, sanitizers) for scripts/fuzz.sh
#   cross    the arm64 and armhf cross compilers, the multiarch Qt of both
#            (added as foreign architectures) and qemu-user for the tests
#   package  lintian for checking the .deb packages (dpkg-dev comes with g++)
# Any other argument is installed as a package name.
set -euo pipefail
packages=(cmake make g++ pkg-config qtbase5-dev libqt5serialport5-dev)
foreign=()
for arg in "$@"; do
  case $arg in
    qt6) packages+=(qt6-base-dev qt6-base-dev-tools qt6-serialport-dev) ;;
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    cross)
      foreign=(arm64 armhf)
      packages+=(crossbuild-essential-arm64 crossbuild-essential-armhf qemu-user
                 qtbase5-dev:arm64 libqt5serialport5-dev:arm64 qtbase5-dev:armhf libqt5serialport5-dev:armhf)
      ;;
    package) packages+=(lintian dpkg-dev file) ;;
    *) packages+=("$arg") ;;
  esac
done
sudo=""
[ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null && sudo=sudo
apt_env=(env DEBIAN_FRONTEND=noninteractive)
# The host's own tools (moc, qmake) stay amd64: the foreign Qt packages add
# libraries next to them and replace nothing.
added=0
for a in "${foreign[@]}"; do
  if ! dpkg --print-foreign-architectures | grep -qx "$a"; then
    $sudo dpkg --add-architecture "$a"
    added=1
  fi
done
# Installed for the architecture asked for (NAME:ARCH, else the machine's own);
# with foreign architectures a plain name may also match another one's package.
native=$(dpkg --print-architecture)
installed() {
  local name=${1%%:*} arch=$native
  [[ $1 == *:* ]] && arch=${1#*:}
  dpkg-query -W -f='${db:Status-Abbrev}|${Architecture}\n' "$name" 2>/dev/null | grep -qE "^ii \|($arch|all)$"
}
missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && [ $added -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
$sudo "${apt_env[@]}" apt-get update -qq
[ ${#missing[@]} -eq 0 ] && exit 0
$sudo "${apt_env[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
