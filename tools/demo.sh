#!/usr/bin/env bash
# The main job, end to end: builds Varnolt, starts a Wine environment, puts
# the terminal simulator on a pseudo-terminal COM port with a handful of
# scanned records, runs the real Varnolt.exe with a command line (overwrite
# into a fresh directory, 115200 bit/s, no viewer, no dialog, not kept
# online), waits for it to finish the session and end, and prints the file
# it received.
#
#   tools/demo.sh [--cradle | --modem | --tapi]
#
# Without an option the terminal is on a plain cable (interface RS232).
# --cradle puts the simulator's infrared cradle (at 9600 bit/s) in front of
# the terminal and runs the program on its Cradle-IR interface, which finds
# the cradle and switches it to 115200 bit/s; --modem puts the simulator's
# modem there (it rings and connects once it is set to answer) and runs the
# program on Modem - COM; --tapi runs it on Modem - TAPI: our telephony
# stand-in (tools/tapi_standin) takes Wine's tapi32, offers a data call on a
# modem line, and hands the program the simulated COM port as the call's line.
set -euo pipefail
interface=1
front=()
tapi=""
case "${1:-}" in
  "") ;;
  --cradle) interface=2; front=(--cradle) ;;
  --modem) interface=4; front=(--modem) ;;
  --tapi) interface=3; tapi=1 ;;
  *) echo "usage: tools/demo.sh [--cradle | --modem | --tapi]" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
root=$(pwd)

bash tools/setup.sh
build=${VARNOLT_BUILD_DIR:-build}
# The program a site gets is the 32-bit release; it runs where this machine
# can run 32-bit programs (Wine's 32-bit side and a kernel with IA-32
# emulation), else the x86_64 build stands in for it.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  windows=win32 arch=i686
else
  windows=win64 arch=x86_64
  echo "demo: this machine cannot run 32-bit programs; running the x86_64 build in the release's place"
fi
# Only what the demo needs: the simulator, and the one Windows program (with
# the telephony stand-in for --tapi), in the same directories the full build
# uses. VARNOLT_SKIP_BUILD=1 reruns the demo on an existing build.
if [ -z "${VARNOLT_SKIP_BUILD:-}" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2 --target termsim_cmd
  cmake -S . -B "$build/$windows" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
  targets=(Varnolt)
  [ -n "$tapi" ] && targets+=(tapi_standin)
  cmake --build "$build/$windows" -j2 --target "${targets[@]}"
fi
build=$(cd "$build" && pwd)

state=$build/wine-env-demo
work=$(mktemp -d /tmp/varnolt-demo-XXXXXX)
simpid=""
cleanup() {
  [ -n "$simpid" ] && kill "$simpid" 2>/dev/null || true
  "$root/tools/harness/wine-env.sh" stop "$state" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

WINE64=${WINE64:-/usr/lib/wine/wine64}
export WINE64
tools/harness/wine-env.sh start "$state"
# shellcheck disable=SC1091
. "$state/env"
export WINEPREFIX DISPLAY WINEDEBUG=-all

# Article numbers with the counted quantity, as a stock-taking terminal holds them.
cat >"$work/records.txt" <<'RECORDS'
4006381333931,12
5012345678900,3
7622210449283,48
9780201633610,1
4311501627339,6
RECORDS

com=5
cp "$build/$windows/Varnolt.exe" "$work/"
link=$WINEPREFIX/dosdevices/com$com
rm -f "$link"
"$build/tools/termsim/termsim" --link "$link" --records "$work/records.txt" --timeout 90 "${front[@]}" \
  >"$work/termsim.txt" 2>&1 </dev/null &
simpid=$!
for _ in $(seq 100); do [ -L "$link" ] && break; sleep 0.05; done
[ -L "$link" ] || { cat "$work/termsim.txt"; echo "demo: the simulator did not start" >&2; exit 1; }

if [ -n "$tapi" ]; then
  # One data-modem line; its incoming call comes half a second after the
  # program opens the line, and its comm handle is the simulator's port.
  cp "$build/$windows/tools/tapi_standin/tapi32.dll" "$work/"
  cat >"$work/standin.ini" <<WORLD
log = $work/tapi.log
[line]
name = Demo data modem
com = $com
offer_after = 500
WORLD
  export WINEDLLOVERRIDES=tapi32=n VARNOLT_TAPI_STANDIN=$work/standin.ini
fi

# path, interface (1 RS232, 2 Cradle-IR, 3 Modem - TAPI, 4 Modem - COM), COM,
# 115200, overwrite, CR, LF, messages on, view off, always-show off,
# keep-online off, polling 2 s, delay 2 ms.
winpath="Z:${work//\//\\}\\received.txt"
cmdline="$winpath,$interface,$com,1,1,1,1,1,0,0,0,2,2"
echo "demo: Varnolt.exe $cmdline"
status=0
(cd "$work" && timeout 120 "$WINE64" "$work/Varnolt.exe" "$cmdline" >"$work/varnolt.txt" 2>&1 </dev/null) || status=$?
wait "$simpid" || true
simpid=""

echo "---- terminal simulator ----"
cat "$work/termsim.txt"
if [ -n "$tapi" ]; then
  echo "---- telephony stand-in: calls and events ----"
  sed 's/^[0-9]* //' "$work/tapi.log"
fi
echo "---- Varnolt.exe ended with status $status ----"
if [ -f "$work/received.txt" ]; then
  echo "---- received.txt ($(wc -c <"$work/received.txt") bytes) ----"
  cat "$work/received.txt" | tr -d '\r'
else
  echo "demo: no output file was written" >&2
  exit 1
fi
