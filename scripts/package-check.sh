#!/usr/bin/env bash
# Builds the Debian package, lists it, installs it, runs what it installed and
# removes it again.
#
#   scripts/package-check.sh [--extract] [--build-dir DIR] [--no-build]
#
# Default (as root): builds the package in DIR (default: build), shows
# `dpkg -c`, installs it with apt-get, runs the updater on the VIRTUAL link
# from /opt/vesk-updater and through /usr/bin/vesk-updater, runs
# `vesk-netdev --help`, calls the installed library from a small C program
# built against the installed header, then purges the package. The installed
# Settings.ini is replaced only for the run and restored before the purge.
#
# --extract: unpacks the package with `dpkg-deb -x` into a temporary root and
# runs the same checks there; nothing on this machine is changed and root is
# not needed. --no-build packages DIR as it stands (cpack) instead of building
# it first. The CTest test package_contents_test runs
# `--extract --no-build` on its own build folder; it is skipped (status 77)
# where the Debian tools are missing.
#
# Nothing here sends network traffic: the VIRTUAL link has no instrument,
# and the library is called only with arguments it refuses before it listens.
set -euo pipefail
cd "$(dirname "$0")/.."
source_root=$(pwd)

readonly kSkipped=77
# The updater ends with the controller step's result: the virtual link's
# controller reports 0.0.0, "FX3 driver is too old to update" (-10029).
readonly kVirtualRunStatus=211
readonly kVirtualRunSentence="Virtual bus is closed!"
# The library's code for a NULL pointer argument (VESK_NETDEV_INVALID_ARGUMENT).
readonly kNetdevInvalidArgument=10204
readonly kHome=/opt/vesk-updater
readonly kPackage=vesk-updater

mode=install
build_dir=build
build=yes
while (($#)); do
  case $1 in
    --extract) mode=extract ;;
    --no-build) build=no ;;
    --build-dir) build_dir=${2:?--build-dir needs a folder}; shift ;;
    -h|--help) sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "package-check: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done
build_dir=$(cd "$source_root" && mkdir -p "$build_dir" && cd "$build_dir" && pwd)

failures=0
pass() { echo "ok: $*"; }
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
check() { local what=$1; shift; if "$@"; then pass "$what"; else fail "$what"; fi; }

# What packaging and the checks need: dpkg-deb, dpkg-shlibdeps (dpkg-dev),
# file (used by CPack to find the binaries), and a C compiler or python3.
missing=()
command -v dpkg-deb >/dev/null || missing+=(dpkg)
command -v dpkg-shlibdeps >/dev/null || missing+=(dpkg-dev)
command -v file >/dev/null || missing+=(file)
command -v cpack >/dev/null || missing+=(cmake)
if ((${#missing[@]})); then
  if [ "$mode" = extract ]; then
    echo "package-check: skipped, missing ${missing[*]}" >&2
    exit $kSkipped
  fi
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
if [ "$mode" = install ] && [ "$(id -u)" -ne 0 ]; then
  echo "package-check: installing needs root; use --extract to check without installing" >&2
  exit 2
fi

work=$(mktemp -d)
settings_backup=""
installed_here=no
cleanup() {
  if [ -n "$settings_backup" ] && [ -f "$settings_backup" ] && [ -d "$kHome" ]; then
    cp -p "$settings_backup" "$kHome/Settings.ini"
  fi
  if [ "$installed_here" = yes ]; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "$kPackage" >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# --- The package ---------------------------------------------------------
if [ "$build" = yes ]; then
  cmake -S "$source_root" -B "$build_dir" >/dev/null
  cmake --build "$build_dir" -j"$(nproc)" --target package
  deb_dir=$build_dir
else
  # A folder of its own, so that a concurrent `package` build is not disturbed.
  [ -f "$build_dir/CPackConfig.cmake" ] || { echo "package-check: $build_dir is not configured" >&2; exit 2; }
  cpack --config "$build_dir/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; exit 1; }
  deb_dir=$work/package
fi
debs=("$deb_dir"/"$kPackage"_*.deb)
[ -f "${debs[0]}" ] || { echo "package-check: no $kPackage package in $deb_dir" >&2; exit 1; }
# The newest, should earlier versions lie beside it.
deb=$(ls -t "${debs[@]}" | head -n 1)
echo "Package: $deb"
dpkg -c "$deb"

version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg-deb -f "$deb" Architecture)
check "file name is ${kPackage}_<version>_<arch>.deb" \
  test "$(basename "$deb")" = "${kPackage}_${version}_${arch}.deb"
for field in Maintainer Description Section Priority Depends; do
  check "control field $field present" test -n "$(dpkg-deb -f "$deb" "$field")"
done
check "dependencies taken from the shared libraries (libusb)" \
  grep -q 'libusb-1.0' <<<"$(dpkg-deb -f "$deb" Depends)"
dpkg-deb -e "$deb" "$work/control"
check "settings and limits table kept across upgrades (conffiles)" \
  diff -q <(sort "$work/control/conffiles") \
          <(printf '%s\n' "$kHome/FirmwareUpdateLimit.csv" "$kHome/Settings.ini")

multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)

# --- Where the package's files are ----------------------------------------
if [ "$mode" = install ]; then
  if dpkg-query -W -f='${Status}' "$kPackage" 2>/dev/null | grep -q "install ok installed"; then
    echo "package-check: $kPackage is already installed here; the check would purge it." >&2
    echo "Remove it first (apt-get purge $kPackage) or use --extract." >&2
    exit 2
  fi
  installed_here=yes
  DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb"
  root=""
else
  root=$work/root
  dpkg-deb -x "$deb" "$root"
fi
home=$root$kHome
libdir=$root/usr/lib/$multiarch

for path in "$kHome/vesk-updater" "$kHome/Settings.ini" "$kHome/FirmwareUpdateLimit.csv" \
            /usr/bin/vesk-netdev "/usr/lib/$multiarch/libvesk-netdev.so" \
            /usr/include/vesk/netdev.h /lib/udev/rules.d/70-vesk-instruments.rules \
            /usr/share/man/man1/vesk-updater.1.gz /usr/share/man/man1/vesk-netdev.1.gz; do
  check "$path installed" test -f "$root$path"
done
for folder in data/Firmware data/KT/TempVersion data/VQ; do
  check "$kHome/$folder/ present" test -d "$home/$folder"
done
check "/usr/bin/vesk-updater links to $kHome/vesk-updater" \
  test "$(readlink "$root/usr/bin/vesk-updater")" = "$kHome/vesk-updater"
for page in vesk-updater vesk-netdev; do
  check "manual page $page.1.gz is whole" gzip -t "$root/usr/share/man/man1/$page.1.gz"
done
check "shipped Settings.ini selects the USB link" \
  test "$(grep -m1 = "$home/Settings.ini")" = "Interface=USB"
check "udev rules name the instruments' USB identity" \
  grep -q 'ATTR{idVendor}=="04b4"' "$root/lib/udev/rules.d/70-vesk-instruments.rules"

# --- Running what was installed ------------------------------------------
# The updater reads Settings.ini beside its own executable: the run on the
# VIRTUAL link needs it there for the moment.
settings_backup=$work/Settings.ini.shipped
cp -p "$home/Settings.ini" "$settings_backup"
printf 'Interface=VIRTUAL\nIndex=0\nIP=192.168.1.100\nPort=5000\nTimeOut=10000\n' >"$home/Settings.ini"

# run_updater LABEL COMMAND: one whole VIRTUAL run, Enter not pressed (EOF).
run_updater() {
  local label=$1 command=$2 status=0 failures_before=$failures
  (cd "$work" && "$command" </dev/null >"$work/run.out" 2>"$work/run.err") || status=$?
  check "$label: exit status $kVirtualRunStatus" test "$status" -eq "$kVirtualRunStatus"
  check "$label: says \"$kVirtualRunSentence\"" grep -qF "$kVirtualRunSentence" "$work/run.out"
  # The shipped table lies beside the program, so no built-in fallback is announced.
  check "$label: finds FirmwareUpdateLimit.csv" \
    bash -c '! grep -q "FirmwareUpdateLimit.csv not found" "$1"' _ "$work/run.out"
  check "$label: reads no correction from Settings.ini" \
    bash -c '! grep -q "in Settings.ini" "$1"' _ "$work/run.out"
  if [ "$failures" -gt "$failures_before" ]; then sed 's/^/    | /' "$work/run.out" "$work/run.err" >&2; fi
}

run_updater "$kHome/vesk-updater" "$home/vesk-updater"
if [ "$mode" = install ]; then
  run_updater "vesk-updater on the command path" "$(command -v vesk-updater)"
  check "vesk-updater on the command path is /usr/bin/vesk-updater" \
    test "$(command -v vesk-updater)" = /usr/bin/vesk-updater
else
  # The package's link is absolute and points outside the unpacked root; a
  # link of the same kind to the unpacked program shows that the updater
  # finds its files beside the real executable, not beside the link.
  mkdir -p "$work/bin"
  ln -s "$home/vesk-updater" "$work/bin/vesk-updater"
  run_updater "vesk-updater through a symbolic link" "$work/bin/vesk-updater"
fi
cp -p "$settings_backup" "$home/Settings.ini"
check "installed updater is the packaged version ($version)" \
  test "$("$home/vesk-updater" --version)" = "vesk-updater $version"
if [ "$mode" = install ] && command -v man >/dev/null; then
  for page in vesk-updater vesk-netdev; do
    check "man $page finds its page" bash -c 'man -w "$1" >/dev/null' _ "$page"
  done
fi

# The front end and the library, found where the package put them.
loader_path=()
[ "$mode" = extract ] && loader_path=(env "LD_LIBRARY_PATH=$libdir")
status=0
"${loader_path[@]}" "$root/usr/bin/vesk-netdev" --help >"$work/netdev.out" 2>&1 || status=$?
check "vesk-netdev --help: exit status 0" test "$status" -eq 0
check "vesk-netdev --help: prints the usage" grep -q "vesk-netdev list" "$work/netdev.out"

# A sanitizer build's library needs the same runtime in the program that loads it.
sanitizer_flags=()
needed=$(readelf -d "$libdir/libvesk-netdev.so" 2>/dev/null || true)
if grep -q libasan <<<"$needed"; then sanitizer_flags=(-fsanitize=address,undefined)
elif grep -q libtsan <<<"$needed"; then sanitizer_flags=(-fsanitize=thread); fi

cat >"$work/probe.c" <<'EOF'
#include <stdio.h>
#include <vesk/netdev.h>
/* A NULL output is refused before any socket is opened. */
int main(void) {
  int32_t result = Device_GetNetworkDeviceList(NULL, NULL, NULL, NULL);
  printf("%d\n", (int)result);
  return result == VESK_NETDEV_INVALID_ARGUMENT ? 0 : 1;
}
EOF
if command -v cc >/dev/null; then
  check "C program builds against the installed header and library" \
    cc "${sanitizer_flags[@]}" -I"$root/usr/include" "$work/probe.c" -L"$libdir" -lvesk-netdev \
       -o "$work/probe"
  check "installed library loads and refuses a NULL device list area ($kNetdevInvalidArgument)" \
    "${loader_path[@]}" "$work/probe"
elif command -v python3 >/dev/null; then
  check "installed library loads and refuses a NULL device list area ($kNetdevInvalidArgument)" \
    test "$(python3 -c 'import ctypes,sys; print(ctypes.CDLL(sys.argv[1]).Device_GetNetworkDeviceList(None,None,None,None))' \
            "$libdir/libvesk-netdev.so")" = "$kNetdevInvalidArgument"
else
  fail "no C compiler or python3 to load the library with"
fi

# --- Removal ---------------------------------------------------------------
if [ "$mode" = install ]; then
  DEBIAN_FRONTEND=noninteractive apt-get purge -y "$kPackage"
  installed_here=no
  check "purge removes the package" \
    bash -c '! dpkg-query -W -f="\${Status}" "$1" 2>/dev/null | grep -q "install ok installed"' _ "$kPackage"
  check "purge removes $kHome" test ! -e "$kHome"
  check "purge removes /usr/bin/vesk-updater" test ! -L /usr/bin/vesk-updater
fi

if ((failures)); then
  echo "package-check: $failures check(s) failed" >&2
  exit 1
fi
echo "package-check: all checks passed ($mode)"
