#!/usr/bin/env bash
# Builds the updater and walks one update run on the VIRTUAL link (no
# instrument needed) in a temporary folder, as an operator would see it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target vesk-updater >/dev/null
run=$(mktemp -d)
trap 'rm -rf "$run"' EXIT
cp build/vesk-updater "$run/"
printf 'Interface=VIRTUAL\nIndex=0\nIP=192.168.1.100\nPort=5000\nTimeOut=10000\n' > "$run/Settings.ini"
mkdir -p "$run/data/Firmware"
status=0
(cd "$run" && echo | ./vesk-updater) || status=$?
echo
echo "(exit status $status)"
