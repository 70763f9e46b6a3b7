#!/usr/bin/env bash
# Screenshots for the README: the settings dialog (file mode, and keyboard
# emulation with its other set of enabled controls) and the session window
# waiting for an absent COM port, taken under Xvfb.
#
#   tools/screenshots.sh [OUTPUT_DIR] [WIN64_BUILD_DIR]
#   DPI=144 tools/screenshots.sh ...     the same at another display DPI
#
# OUTPUT_DIR defaults to docs/screenshots; WIN64_BUILD_DIR to build/win64
# (the x86_64 sub-build of the superbuild), which must hold Varnolt.exe and
# tools/winprobe/winprobe.exe. Needs Wine, Xvfb, xdotool, xwd and
# ImageMagick's convert (/usr/bin/convert).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

out=$(mkdir -p "${1:-docs/screenshots}" && cd "${1:-docs/screenshots}" && pwd)
win64=$(cd "${2:-build/win64}" && pwd)
WINE64=${WINE64:-/usr/lib/wine/wine64}
WINESERVER_BIN=${WINESERVER:-/usr/lib/wine/wineserver}
CONVERT=/usr/bin/convert
export WINE64

varnolt=$win64/Varnolt.exe
winprobe=$win64/tools/winprobe/winprobe.exe
for needed in "$varnolt" "$winprobe" "$CONVERT"; do
  [ -e "$needed" ] || { echo "screenshots: missing $needed" >&2; exit 1; }
done

work=$(mktemp -d /tmp/varnolt-shots.XXXXXX)
state=$work/state
program_pid=""

cleanup() {
  if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then kill "$program_pid" 2>/dev/null || true; fi
  WINE_TEMPLATE=${template:-$work/template} "$root/tools/harness/wine-env.sh" stop "$state" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

# A prefix of its own and a free display; the environment file names both.
# The build's prefix template is reused when the tests have made one.
template=$(dirname "$win64")/wine-prefix-template
[ -f "$template/system.reg" ] || template=$work/template
WINE_TEMPLATE=$template "$root/tools/harness/wine-env.sh" start "$state" >"$work/env.log" 2>&1 \
  || { cat "$work/env.log" >&2; exit 1; }
# shellcheck disable=SC1090
. "$state/env"
export WINEPREFIX DISPLAY WINEDEBUG=-all

probe() { "$WINE64" "$winprobe" "$@" 2>/dev/null </dev/null; }

# Wine's display DPI (96 unless asked): dialogs should scale crisply with it.
dpi=${DPI:-96}
suffix=""
if [ "$dpi" != 96 ]; then
  suffix="-${dpi}dpi"
  "$WINE64" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  "$WINE64" reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
    /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  "$WINESERVER_BIN" -k >/dev/null 2>&1 || true   # the setting is read when Wine starts
fi

# Starts the program copied into a fresh directory; arguments are its command line.
start_program() {
  local dir=$1; shift
  ( cd "$dir" && exec "$WINE64" "$dir/Varnolt.exe" "$@" >"$dir/out.txt" 2>&1 </dev/null ) &
  program_pid=$!
}

stop_program() {
  local caption=$1
  probe close "$caption" >/dev/null || true
  for _ in $(seq 1 100); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$program_pid" 2>/dev/null || true
  wait "$program_pid" 2>/dev/null || true
  program_pid=""
}

# Saves the X window of the visible Wine window with this caption.
shoot() {
  local caption=$1 file=$2 id
  id=$(xdotool search --onlyvisible --name "^${caption}\$" | head -n 1)
  [ -n "$id" ] || { echo "screenshots: no window '$caption'" >&2; exit 1; }
  sleep 0.5   # let the window finish painting
  file=${file%.png}$suffix.png
  xwd -id "$id" -silent | "$CONVERT" xwd:- "$out/$file"
  echo "screenshots: $out/$file"
}

title='Varnolt  Ver 1.12'

# 1. The settings dialog, from a settings file that asks for it: the name of
# the shot, then the 13 lines of the file.
settings_shot() {
  local name=$1 dir=$work/$1
  shift
  mkdir -p "$dir"
  cp "$varnolt" "$dir/"
  printf '%s\r\n' "$@" >"$dir/Varnolt.ini"
  start_program "$dir"
  probe wait-window "$title" 15000 >/dev/null || { echo "screenshots: the settings dialog did not appear" >&2; exit 1; }
  shoot "$title" "$name.png"
  stop_program "$title"
}
mkdir -p "$WINEPREFIX/drive_c/Data"
settings_shot settings-file 'C:\Data\SCAN.TXT' 1 3 1 1 1 1 1 1 1 0 2 2
settings_shot settings-keyboard "" 1 3 1 3 1 0 1 0 1 0 2 5

# 2. The session window, waiting for a COM port that is not there.
dir=$work/session
mkdir -p "$dir"
cp "$varnolt" "$dir/"
start_program "$dir" "Z:\\tmp\\SCAN.TXT,1,77,1,1,1,1,1,0,0,0,2,2"
probe wait-text "$title" 201 "COM port is not available!" 15000 >/dev/null \
  || { echo "screenshots: the session window did not show the absent port" >&2; exit 1; }
shoot "$title" session-port-absent.png
stop_program "$title"
