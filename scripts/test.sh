#!/usr/bin/env bash
# Installs what the build needs (Debian 12), builds with warnings as errors,
# runs every test, then builds and runs them all again under AddressSanitizer
# and UndefinedBehaviorSanitizer; then the threaded parts under
# ThreadSanitizer and every fuzz target for a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake pkg-config libgtest-dev libasio-dev libusb-1.0-0-dev
          zlib1g-dev iproute2 python3 umockdev libumockdev-dev
          libssl-dev nlohmann-json3-dev clang-14 libclang-rt-14-dev dpkg-dev file)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=(); [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

jobs=$(nproc)
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT

# Runs ctest with the given arguments and keeps its closing count.
run_ctest() {
  ctest "$@" | tee -a "$summary"
  return "${PIPESTATUS[0]}"
}

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  run_ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout 900
}

echo "== build and test =="
run_suite build
echo "== build and test under AddressSanitizer and UndefinedBehaviorSanitizer =="
ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build-asan -DVESK_SANITIZE=ON

# The parts that run threads (the discovery listeners, the controller
# writer beside its progress display) once more under ThreadSanitizer.
echo "== threaded parts under ThreadSanitizer =="
tsan_targets=(netdev_wire_test netdev_discovery_test netdev_assignment_test
              netdev_local_addresses_test netdev_private_run netdev_c_client
              vesk-netdev vesk-netdev-cli vesk-netdev-peer controller_update_test)
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESK_TSAN=ON >/dev/null
cmake --build build-tsan -j"$jobs" --target "${tsan_targets[@]}"
TSAN_OPTIONS=halt_on_error=1 run_ctest --test-dir build-tsan --output-on-failure -j"$jobs" \
  --timeout 900 -R 'netdev|Netdev|ControllerProgress'

# Every reader of bytes the program did not write, fuzzed for a few seconds.
echo "== fuzz targets, briefly =="
./scripts/fuzz.sh 5

# One closing line for the whole run: every test of every stage above.
awk '/tests passed, [0-9]+ tests failed out of/ { total += $NF; failed += $(NF-5) }
     END { printf "%d passed, %d failed\n", total - failed, failed }' "$summary"
