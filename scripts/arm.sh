#!/usr/bin/env bash
# The ARM gateways: cross-builds plug-ins, tools and tests for arm64 and armhf
# with the toolchain files in cmake/toolchains/ and Debian's multiarch Qt, runs
# the test suite under qemu-user (CTest starts each test program through the
# toolchain's emulator) and makes the architecture's packages (scripts/package.sh).
#
#   scripts/arm.sh [arm64|armhf]...        default: both
#
# Test programs that start other programs (QProcess: plcsim, plchost) run on
# the build machine only. qemu-user refuses the clone call Qt 5.15 uses to
# start a child process, and without a binfmt registration (a change to the
# whole machine, which CI does not make) an emulated program could not start
# another ARM program anyway. Those programs test the command-line tools, whose
# code is the same on every architecture; every test of the plug-ins, the frame
# and the simulator core runs here, in process, on both ARM targets.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(arm64 armhf)
bash "$root/scripts/install-deps.sh" cross package
jobs=$(nproc)

native_only=$(grep -l QProcess "$root"/tests/*/tst_*.cpp | xargs -n 1 basename | sed 's/\.cpp$//' | paste -sd '|' -)
summary=()
for arch in "${archs[@]}"; do
  case $arch in
    arm64) triple=aarch64-linux-gnu ;;
    armhf) triple=arm-linux-gnueabihf ;;
    *) echo "arm: unknown architecture $arch (arm64 or armhf)" >&2; exit 2 ;;
  esac
  build=${ARM_BUILD_ROOT:-$root}/build-$arch
  start=$(date +%s)
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/$triple.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
  cmake --build "$build" -j"$jobs"
  built=$(date +%s)
  # Emulation makes everything slower, the waits inside the tests included:
  # a longer limit per test program, the assertions unchanged.
  ctest --test-dir "$build" --output-on-failure -j"$jobs" --timeout 1200 -E "^($native_only)\$" |
    tee "$build/ctest.log"
  tested=$(date +%s)
  bash "$root/scripts/package.sh" "$build"
  counts=$(grep -E 'tests passed' "$build/ctest.log" | tail -n 1)
  summary+=("$(printf '%-6s build %4d s, tests %4d s (%s), packages %3d s' "$arch" \
    $((built - start)) $((tested - built)) "$counts" $(($(date +%s) - tested)))")
done
echo "ARM summary (not run under emulation, run natively: ${native_only//|/, }):"
printf '  %s\n' "${summary[@]}"
