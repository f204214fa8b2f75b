#!/usr/bin/env bash
# Builds the updater and the instrument simulator, then runs one complete
# update over Ethernet without hardware: the simulator plays a VQ unit
# (model T70_R4, MCU 0.55.56, FPGA 0.55.22) at 192.168.1.100:5000 inside a
# private network namespace, and the updater, started in a temporary folder
# with sample MCU, FPGA and GNSS images, writes all three to it. Nothing
# inside the namespace can reach the real network.
#
# The instrument's own waits are real (the MCU restarts take about 12 s, the
# FPGA restart 4 s), so the run takes about half a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
export PATH="$PATH:/usr/sbin:/sbin"

build=${VESK_BUILD_DIR:-build}  # another build folder, if wanted
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target vesk-updater vesk-instrument-sim >/dev/null

run=$(mktemp -d)
trap 'rm -rf "$run"' EXIT
cp "$build/vesk-updater" "$build/vesk-instrument-sim" "$run/"
printf 'Interface=ETH\nIndex=0\nIP=192.168.1.100\nPort=5000\nTimeOut=10000\n' > "$run/Settings.ini"
mkdir -p "$run/data/Firmware"
# MCU 0.55.61: a 16 KiB boot image, then the application (48 KiB).
head -c $((16384 + 49152)) /dev/urandom > "$run/data/Firmware/T70_R4_0.55.61.bin"
# FPGA 0.55.30 as a raw image, shorter than the flash: padded with 0xFF.
head -c 1000000 /dev/urandom > "$run/data/Firmware/T70_R4_0.55.30.rpd"
# GNSS 2.1: a 10 KiB header that stays on the host, then 20000 bytes of body.
head -c $((10240 + 20000)) /dev/urandom > "$run/data/Firmware/GNSS_2.1.bin"

# Runs inside the namespace: address, simulator, updater (Enter piped in),
# then the simulator's account of what it received.
cat > "$run/inside.sh" <<'EOF'
set -eu
cd "$1"
ip link set lo up
ip addr add 192.168.1.100/32 dev lo
./vesk-instrument-sim eth --address 192.168.1.100 --port 5000 \
  --model 54 --uid 0xABCDEF0123 --mcu 0.55.56 --fpga 0.55.22 --server-type 1 > sim.log 2>&1 &
sim=$!
for _ in $(seq 50); do
  grep -q "listening" sim.log && break
  sleep 0.1
done
status=0
echo | ./vesk-updater || status=$?
echo
echo "(exit status $status)"
kill -TERM "$sim"
wait "$sim" || true
echo
echo "The simulated instrument received:"
# The command list holds one entry per data block: show only its length.
awk '/^Commands:/ { print "Commands: " NF - 1; next } /listening/ { next } { print }' sim.log
EOF

if unshare -rn true 2>/dev/null; then
  unshare -rn sh "$run/inside.sh" "$run"
elif [ "$(id -u)" = 0 ]; then
  unshare -n sh "$run/inside.sh" "$run"
else
  echo "This demo needs a private network namespace (unshare -rn): enable unprivileged" >&2
  echo "user namespaces or run it as root." >&2
  exit 1
fi
