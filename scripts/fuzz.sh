#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build-fuzz/, replays every target's crash
# regressions, then fuzzes each target for a bounded time from its seed corpus.
#
#   scripts/fuzz.sh            30 s per target
#   scripts/fuzz.sh 600        10 min per target
#
# New findings land in build-fuzz/findings/<target>/ (crash-*, leak-*, ...);
# copy a crashing input into fuzz/regressions/<target>/ once it is fixed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
bash "$root/scripts/install-deps.sh" fuzz
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
jobs=${FUZZ_JOBS:-$(nproc)}

san="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="$san" -DPLC_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target fuzzers -j"$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen

mapfile -t targets < <(grep -v '^$' "$build/fuzzers.txt")

# One target: its regressions, then the bounded fuzzing. Prints what went
# wrong and writes its summary line to $build/<target>.summary; fails on a
# crash.
fuzz_target() {
  local t=$1
  local bin="$build/bin/$t"
  local reg="$root/fuzz/regressions/$t"
  # Regressions: every kept input once, the run fails on any crash.
  if [ -d "$reg" ] && [ -n "$(ls -A "$reg" 2>/dev/null)" ]; then
    if ! "$bin" -runs=1 "$reg"/* >"$build/$t.regressions.log" 2>&1; then
      echo "REGRESSION FAILED: $t (see $build/$t.regressions.log)"
      tail -30 "$build/$t.regressions.log"
      printf '%-24s REGRESSION FAILED\n' "$t" >"$build/$t.summary"
      return 1
    fi
  fi
  # A working corpus per target, seeded from the kept one, so runs build on
  # each other without touching the repository.
  local work="$build/corpus/$t"
  local findings="$build/findings/$t"
  mkdir -p "$work" "$findings"
  local seeds="$root/fuzz/corpus/$t"
  [ -d "$seeds" ] || seeds=""
  local log="$build/$t.log"
  if "$bin" -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=512 \
       -max_len=4096 -print_final_stats=1 -artifact_prefix="$findings/" \
       "$work" $seeds >"$log" 2>&1; then
    local runs cov
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)
    printf '%-24s %10s runs  %s\n' "$t" "$runs" "$cov" >"$build/$t.summary"
  else
    echo "FUZZ FAILURE: $t (see $log)"
    grep -E 'ERROR|runtime error|invariant|SUMMARY' "$log" | head -10 || true
    ls "$findings"
    printf '%-24s FAILED\n' "$t" >"$build/$t.summary"
    return 1
  fi
}

# Each target is one process on one core: as many at a time as there are cores.
for t in "${targets[@]}"; do rm -f "$build/$t.summary"; done
status=0
running=0
for t in "${targets[@]}"; do
  if [ $running -ge "$jobs" ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
  fuzz_target "$t" &
  running=$((running + 1))
done
while [ $running -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done
echo "fuzz summary (${seconds} s per target):"
for t in "${targets[@]}"; do
  printf '  %s\n' "$(cat "$build/$t.summary" 2>/dev/null || printf '%-24s FAILED (no result)' "$t")"
done
exit $status
