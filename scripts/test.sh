#!/usr/bin/env bash
# What CI runs:
#   1. Release build with warnings on, whole test suite;
#   2. AddressSanitizer + UndefinedBehaviorSanitizer build (leak checks on),
#      whole test suite again;
#   3. every libFuzzer target for a short bounded time, after replaying its
#      crash regressions (scripts/fuzz.sh);
#   4. the amd64 Debian packages with lintian (scripts/package.sh) and the
#      example host built against the installed SDK, run against the simulator
#      (scripts/example-host.sh), from the Release build of step 1;
#   5. cross builds for arm64 and armhf, their test suites under qemu-user and
#      their packages (scripts/arm.sh).
# FUZZ_SECONDS (default 20) sets the time per fuzz target; SKIP_SANITIZE=1,
# SKIP_FUZZ=1, SKIP_PACKAGE=1 and SKIP_ARM=1 leave out steps 2, 3, 4 and 5.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
jobs=$(nproc)
start=$(date +%s)

build=${BUILD_DIR:-$root/build}
# Installed under /usr, as the packages are: libraries in lib/<multiarch triple>.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr
cmake --build "$build" -j"$jobs"
ctest --test-dir "$build" --output-on-failure -j"$jobs"
echo "== release build and tests: $(( $(date +%s) - start )) s"

if [ "${SKIP_SANITIZE:-0}" != 1 ]; then
  san=${SANITIZE_BUILD_DIR:-$root/build-sanitize}
  cmake -S "$root" -B "$san" -DCMAKE_BUILD_TYPE=Debug -DPLC_SANITIZE=ON
  cmake --build "$san" -j"$jobs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$san" --output-on-failure -j"$jobs" --timeout 600
  echo "== sanitizer build and tests: $(( $(date +%s) - start )) s"
fi

if [ "${SKIP_FUZZ:-0}" != 1 ]; then
  bash "$root/scripts/fuzz.sh" "${FUZZ_SECONDS:-20}"
  echo "== fuzzing: $(( $(date +%s) - start )) s"
fi

if [ "${SKIP_PACKAGE:-0}" != 1 ]; then
  bash "$root/scripts/package.sh" "$build"
  bash "$root/scripts/example-host.sh" "$build"
  echo "== amd64 packages and example host: $(( $(date +%s) - start )) s"
fi

if [ "${SKIP_ARM:-0}" != 1 ]; then
  bash "$root/scripts/arm.sh"
  echo "== ARM cross builds, emulated tests and packages: $(( $(date +%s) - start )) s"
fi
