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
summary=()
status=0
for t in "${targets[@]}"; do
  bin="$build/bin/$t"
  reg="$root/fuzz/regressions/$t"
  # Regressions: every kept input once, the run fails on any crash.
  if [ -d "$reg" ] && [ -n "$(ls -A "$reg" 2>/dev/null)" ]; then
    if ! "$bin" -runs=1 "$reg"/* >"$build/$t.regressions.log" 2>&1; then
      echo "REGRESSION FAILED: $t (see $build/$t.regressions.log)"
      tail -30 "$build/$t.regressions.log"
      status=1
      continue
    fi
  fi
  # A working corpus per target, seeded from the kept one, so runs build on
  # each other without touching the repository.
  work="$build/corpus/$t"
  findings="$build/findings/$t"
  mkdir -p "$work" "$findings"
  seeds="$root/fuzz/corpus/$t"
  [ -d "$seeds" ] || seeds=""
  log="$build/$t.log"
  if "$bin" -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=512 \
       -max_len=4096 -print_final_stats=1 -artifact_prefix="$findings/" \
       "$work" $seeds >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)
    summary+=("$(printf '%-24s %10s runs  %s' "$t" "$runs" "$cov")")
  else
    echo "FUZZ FAILURE: $t (see $log)"
    grep -E 'ERROR|runtime error|invariant|SUMMARY' "$log" | head -10 || true
    ls "$findings"
    summary+=("$(printf '%-24s FAILED' "$t")")
    status=1
  fi
done
echo "fuzz summary (${seconds} s per target):"
printf '  %s\n' "${summary[@]}"
exit $status
