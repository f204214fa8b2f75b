#!/usr/bin/env bash
# Builds the libFuzzer targets (clang-14, build-fuzz/) and runs each for N
# seconds (default 5) over a copy of its seed corpus, so that runs never grow
# the repository. Exits non-zero when any target finds a crash, a leak, an
# undefined operation or a broken property; the input is then left in the
# printed folder.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-5}
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(settings update_limits firmware_version firmware_listing usb_configuration
           ethernet_reply server_query_answer discovery_datagram config_message
           controller_image)
fi

CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVESK_FUZZ=ON -DVESK_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]/%/_fuzzer}"

work=$(mktemp -d "${TMPDIR:-/tmp}/vesk-fuzz.XXXXXX")
failed=()
for t in "${targets[@]}"; do
  mkdir -p "$work/$t/corpus" "$work/$t/findings"
  cp fuzz/corpus/"$t"/* "$work/$t/corpus/"
  # The Ethernet replies are 8 KiB each; room for a handshake and a few more.
  max_len=()
  [ "$t" = ethernet_reply ] && max_len=(-max_len=65536)
  if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
     build-fuzz/fuzz/"$t"_fuzzer "$work/$t/corpus" -max_total_time="$seconds" -timeout=5 \
       "${max_len[@]}" -artifact_prefix="$work/$t/findings/" -print_final_stats=1 \
       >"$work/$t/log" 2>&1; then
    echo "$t: $(grep -E '^#[0-9]+.*(DONE|pulse|NEW|REDUCE)' "$work/$t/log" | tail -1)"
  else
    echo "$t: FAILED, see $work/$t/log and $work/$t/findings/"
    grep -E 'ERROR|property broken|SUMMARY' "$work/$t/log" | head -5 || true
    failed+=("$t")
  fi
done
if ((${#failed[@]})); then
  echo "fuzz findings in: ${failed[*]}"
  exit 1
fi
rm -rf "$work"
