#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the fuzzing and the demo need, only those
# that are missing. Runs as root (or through sudo when available).
set -euo pipefail
# clang and its runtime libraries (libFuzzer, sanitizers) for scripts/fuzz.sh.
packages=(cmake make g++ pkg-config qtbase5-dev libqt5serialport5-dev clang libclang-rt-14-dev "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null && sudo=sudo
echo "installing: ${missing[*]}"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
