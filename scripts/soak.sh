#!/usr/bin/env bash
# Builds the plug-ins, the simulator and the soak benchmark in Release and runs
# it: scripts/soak.sh [seconds] (default 60).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
bash "$root/scripts/install-deps.sh"
build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target plc_soak -j"$(nproc)"
PLC_BIN_DIR="$build/bin" QT_QPA_PLATFORM=offscreen "$build/bin/plc_soak" --seconds "$seconds"
