#!/usr/bin/env bash
# Builds the plug-ins, the simulator and the benchmark in Release and runs it:
#   scripts/bench.sh [--quick] [--json FILE]
# --quick finishes in about a minute; without it a run takes several minutes.
# The table goes to stdout (the figures in README.md come from here).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target plc_bench -j2
PLC_BIN_DIR="$build/bin" QT_QPA_PLATFORM=offscreen "$build/bin/plc_bench" "$@"
