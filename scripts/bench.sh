#!/usr/bin/env bash
# Builds the plug-ins, the simulator and the benchmark in Release and runs it:
#   scripts/bench.sh [--quick] [--json FILE]
# --quick finishes in about a minute; without it a run takes several minutes.
# The table goes to stdout (the figures in README.md come from here).
# The benchmark and the simulators it starts run on one CPU: a loopback
# exchange between two CPUs takes one of two latencies (about 35 and 48 us
# on a 2-core VM) depending on where the scheduler happens to wake each side,
# which swings a single median by a third. BENCH_PIN=0 lets them spread.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target plc_bench -j2
pin=()
if [ "${BENCH_PIN:-1}" != 0 ] && command -v taskset >/dev/null; then
    cpu=$(taskset -pc $$ | sed 's/.*: *//; s/[-,].*//')
    pin=(taskset -c "$cpu")
fi
PLC_BIN_DIR="$build/bin" QT_QPA_PLATFORM=offscreen "${pin[@]}" "$build/bin/plc_bench" "$@"
