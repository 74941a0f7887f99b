#!/usr/bin/env bash
# Runs linkcheck natively and, cross-built, under wine, each against the same
# scripted virtual band, and compares what the two print (line ends aside).
# Wine gets a private prefix that is removed afterwards, its server's noise
# goes to a log, and no process of that prefix may outlive the test.
#   wine_vs_native.sh BANDHOST NATIVE_LINKCHECK WINDOWS_BIN_DIR
set -uo pipefail
bandhost=$1 native=$2 bin=$3
port=42

skip() { echo "SKIPPED: $*"; exit 0; }
for tool in wine wineserver wineboot; do
  command -v $tool >/dev/null || skip "$tool is not installed; scripts/install-deps installs wine and wine64"
done
if [ ! -e "$bin/linkcheck.exe" ]; then
  command -v x86_64-w64-mingw32-g++-posix >/dev/null || skip "no mingw-w64 cross compiler, so no Windows build"
  echo "FAIL: $bin/linkcheck.exe was not built (see the windows_build test)"
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/bandwine.XXXXXX")
prefix=$work/prefix
log=$work/wine.log
# Only wine's own commands see the prefix, so that the check for leftover
# processes below finds wine's and nobody else's.
inwine() {
  env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" "$@"
}
prefix_processes() {
  grep -lsxzF "WINEPREFIX=$prefix" /proc/[0-9]*/environ | cut -d/ -f3
}
ms_since() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }

cleanup() {
  inwine wineserver -k >>"$log" 2>&1
  inwine timeout 30 wineserver -w >>"$log" 2>&1
  local left tries=0
  while left=$(prefix_processes) && [ -n "$left" ] && [ $tries -lt 50 ]; do
    sleep 0.1
    tries=$((tries + 1))
  done
  if [ -n "$left" ]; then
    echo "FAIL: wine processes left behind:"
    for pid in $left; do tr '\0' ' ' <"/proc/$pid/cmdline"; echo; kill -KILL "$pid" 2>/dev/null; done
    status=1
  fi
  rm -rf "$work"
  exit $status
}
status=1
trap cleanup EXIT

start=$(date +%s%N)
mkdir -p "$prefix"
if ! inwine wineserver -p >>"$log" 2>&1 || ! inwine timeout 300 wineboot -i >>"$log" 2>&1; then
  echo "FAIL: wine could not set up its prefix:"
  cat "$log"
  exit
fi
echo "wine prefix ready after $(ms_since "$start") ms"

start=$(date +%s%N)
"$bandhost" --port $port --pass-device -- "$native" >"$work/native.txt"
native_status=$?
echo "native run: exit $native_status after $(ms_since "$start") ms"

start=$(date +%s%N)
inwine timeout -k 5 240 "$bandhost" --port $port --dosdevices "$prefix/dosdevices" -- \
  wine "$bin/linkcheck.exe" >"$work/windows.crlf"
windows_status=$?
echo "windows run under wine: exit $windows_status after $(ms_since "$start") ms"

tr -d '\r' <"$work/windows.crlf" >"$work/windows.txt"
# A link's trace names its band's device, which is a COM port under wine.
sed -i -E 's/^\[band .*\]$/[band DEVICE]/' "$work/native.txt" "$work/windows.txt"
if diff -u --label native "$work/native.txt" --label windows "$work/windows.txt"; then
  echo "both runs printed the same $(wc -l <"$work/native.txt") lines"
  same=1
else
  same=0
fi
grep '^FAIL' "$work/native.txt" | sed 's/^/native: /'
grep '^FAIL' "$work/windows.txt" | sed 's/^/windows: /'
[ $native_status -eq 0 ] && [ $windows_status -eq 0 ] && [ $same -eq 1 ] && status=0
