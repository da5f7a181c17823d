#!/usr/bin/env bash
# The host developer's path: installs a build into a staging directory, builds
# examples/minimal-host against it with find_package(PlcDrivers) and runs it
# against the simulator (3E frames over TCP), where it writes and reads back D100.
#
#   scripts/example-host.sh [BUILD_DIR]        default <repo>/build
#
# A Qt 6 build (-DPLC_QT=6) gives a Qt 6 example host, run with plcsim-qt6
# and the -qt6 plug-ins.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
qt=$(sed -n 's/^PLC_QT:[A-Z]*=//p' "$build/CMakeCache.txt")
qt=${qt:-5}
suffix=""
[ "$qt" = 6 ] && suffix=-qt6
work=$(mktemp -d)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ] && [ "$sim_pid" -gt 0 ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill "$sim_pid"
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

cmake --install "$build" --prefix "$work/stage" --component runtime >/dev/null
cmake --install "$build" --prefix "$work/stage" --component dev >/dev/null
cmake -S "$root/examples/minimal-host" -B "$work/example" -DCMAKE_PREFIX_PATH="$work/stage" -DPLC_QT="$qt" >/dev/null
cmake --build "$work/example" >/dev/null

"$work/stage/bin/plcsim$suffix" --serve mc3e@127.0.0.1:0 >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
  grep -q . "$work/sim.out" && break
  sleep 0.1
done
endpoint=$(awk '{ print $2; exit }' "$work/sim.out")
[ -n "$endpoint" ] || { echo "example-host: the simulator did not start" >&2; cat "$work/sim.err" >&2; exit 1; }

# The plug-in by name: found in PlcDrivers_PLUGIN_DIR of the staged package.
"$work/example/minimal-host" Norvessa "$endpoint" D100
echo "example-host: built against the staged Qt $qt SDK and read back from plcsim$suffix"
