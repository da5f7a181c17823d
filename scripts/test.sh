#!/usr/bin/env bash
# What CI runs (bash scripts/test.sh):
#   1. Release build with Qt 5 (build/), warnings on, whole test suite;
#   2. Release build with Qt 6 (build-qt6/, -DPLC_QT=6), whole test suite;
#   3. AddressSanitizer + UndefinedBehaviorSanitizer build (leak checks on,
#      Qt 5), whole test suite again;
#   4. every libFuzzer target for a short bounded time, after replaying its
#      crash regressions (scripts/fuzz.sh, Qt 5);
#   5. the amd64 Debian packages with lintian (scripts/package.sh) and the
#      example host built against the installed SDK, run against the simulator
#      (scripts/example-host.sh), from the Qt 5 Release build of step 1;
#   6. cross builds for arm64 and armhf (Qt 5), their test suites under
#      qemu-user and their packages (scripts/arm.sh).
# FUZZ_SECONDS (default 20) sets the time per fuzz target; SKIP_QT6=1,
# SKIP_SANITIZE=1, SKIP_FUZZ=1, SKIP_PACKAGE=1 and SKIP_ARM=1 leave out steps
# 2, 3, 4, 5 and 6.
#
#   bash scripts/test.sh --quick
#
# runs steps 1 and 2 only (the Qt 5 suite runs while the Qt 6 build compiles
# and its suite) and installs only what they need: no foreign architectures,
# clang or lintian.
# Both reuse build/ and build-qt6/, so a second run only rebuilds what changed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
quick=0
for arg in "$@"; do
  case $arg in
    --quick) quick=1 ;;
    *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
  esac
done
qt6=1
[ "${SKIP_QT6:-0}" = 1 ] && qt6=0
groups=()
[ $qt6 = 1 ] && groups+=(qt6)
bash "$root/scripts/install-deps.sh" "${groups[@]}"
jobs=$(nproc)
# The Release suites mostly wait (answer time-outs, paced lines): twice as
# many programs as cores at a time. The sanitizer suite keeps one a core.
test_jobs=$((jobs * 2))
start=$(date +%s)

build=${BUILD_DIR:-$root/build}
build6=${QT6_BUILD_DIR:-$root/build-qt6}
# Installed under /usr, as the packages are: libraries in lib/<multiarch triple>.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr
cmake --build "$build" -j"$jobs"
echo "== Qt 5 release build: $(( $(date +%s) - start )) s"

if [ $quick = 1 ] && [ $qt6 = 1 ]; then
  # The suites mostly wait (answer time-outs, paced lines): the Qt 5 suite
  # runs while the Qt 6 build compiles, and the Qt 6 suite starts as soon as
  # its build is done. The Qt 5 log is printed whole at the end.
  ctest --test-dir "$build" --output-on-failure -j"$test_jobs" >"$build/ctest-quick.log" 2>&1 &
  ctest5_pid=$!
  status=0
  if cmake -S "$root" -B "$build6" -DPLC_QT=6 -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr &&
     cmake --build "$build6" -j"$jobs"; then
    echo "== Qt 6 release build: $(( $(date +%s) - start )) s"
    ctest --test-dir "$build6" --output-on-failure -j"$test_jobs" || status=1
    echo "== Qt 6 tests: $(( $(date +%s) - start )) s"
  else
    echo "== Qt 6 release build FAILED" >&2
    status=1
  fi
  wait "$ctest5_pid" || status=1
  echo "== Qt 5 tests ($build/ctest-quick.log):"
  cat "$build/ctest-quick.log"
  echo "== Qt 5 and Qt 6 release builds and tests: $(( $(date +%s) - start )) s"
  exit $status
fi

ctest --test-dir "$build" --output-on-failure -j"$test_jobs"
echo "== Qt 5 release build and tests: $(( $(date +%s) - start )) s"

if [ $qt6 = 1 ]; then
  # The same sources and suite against Qt 6: Release build and CTest only.
  cmake -S "$root" -B "$build6" -DPLC_QT=6 -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr
  cmake --build "$build6" -j"$jobs"
  ctest --test-dir "$build6" --output-on-failure -j"$test_jobs"
  echo "== Qt 6 release build and tests: $(( $(date +%s) - start )) s"
fi
[ $quick = 1 ] && exit 0

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
