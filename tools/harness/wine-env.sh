#!/usr/bin/env bash
# The Wine environment of one test run: a prefix (copied from a cached
# template), an Xvfb display and a persistent wineserver.
#
#   wine-env.sh start STATE_DIR   prepare everything, write STATE_DIR/env
#   wine-env.sh stop STATE_DIR    end the server and the display
#
# STATE_DIR/env holds KEY=VALUE lines (WINEPREFIX, DISPLAY, XVFB_PID) that
# the test harness reads. A layer that cannot run fails here, loudly.
# Every child gets files for its output: Wine's service processes inherit
# standard output and would hold CTest's pipe open.
set -euo pipefail

WINE64=${WINE64:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
XVFB=${XVFB:-Xvfb}

action=${1:-}
state=${2:-}
if [ -z "$action" ] || [ -z "$state" ]; then
  echo "usage: $0 start|stop STATE_DIR" >&2
  exit 2
fi
mkdir -p "$state"
state=$(cd "$state" && pwd)
# One template per build tree, shared by every state directory in it.
template=${WINE_TEMPLATE:-$(dirname "$state")/wine-prefix-template}
prefix=$state/prefix
envfile=$state/env
log=$state/log

fail() { echo "wine-env: $*" >&2; exit 1; }

# Waits (bounded) until the command succeeds.
wait_until() {
  local tenths=$1; shift
  local i
  for ((i = 0; i < tenths; i++)); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  return 1
}

stop_all() {
  if [ -f "$envfile" ]; then
    # shellcheck disable=SC1090
    . "$envfile"
    WINEPREFIX=$WINEPREFIX "$WINESERVER" -k >/dev/null 2>&1 || true
    timeout 20 env WINEPREFIX="$WINEPREFIX" "$WINESERVER" -w >/dev/null 2>&1 || true
    if [ -n "${XVFB_PID:-}" ] && kill -0 "$XVFB_PID" 2>/dev/null; then
      kill "$XVFB_PID" 2>/dev/null || true
      wait_until 50 bash -c "! kill -0 $XVFB_PID 2>/dev/null" || kill -9 "$XVFB_PID" 2>/dev/null || true
    fi
    rm -f "$envfile"
  fi
}

make_template() {
  echo "wine-env: creating the prefix template (once per build tree)"
  rm -rf "$template" "$template.tmp"
  mkdir -p "$template.tmp"
  WINEPREFIX=$template.tmp WINEDEBUG=-all "$WINE64" wineboot -i >"$log/wineboot.txt" 2>&1 </dev/null \
    || fail "wineboot failed (see $log/wineboot.txt)"
  # Without a window manager, every hidden managed window stalls about 2 s.
  WINEPREFIX=$template.tmp WINEDEBUG=-all "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' \
    /v Managed /t REG_SZ /d N /f >"$log/reg.txt" 2>&1 </dev/null || fail "reg add failed"
  WINEPREFIX=$template.tmp "$WINESERVER" -k >/dev/null 2>&1 || true
  timeout 30 env WINEPREFIX="$template.tmp" "$WINESERVER" -w >/dev/null 2>&1 || true
  mv "$template.tmp" "$template"
}

start_all() {
  [ -x "$WINE64" ] || fail "no Wine 64-bit loader at $WINE64 (run tools/setup.sh)"
  [ -x "$WINESERVER" ] || fail "no wineserver at $WINESERVER"
  command -v "$XVFB" >/dev/null || fail "no Xvfb (run tools/setup.sh)"
  stop_all
  mkdir -p "$log"
  # Two runs starting at once build the template only once.
  exec 9>"$template.lock"
  flock 9
  [ -f "$template/system.reg" ] || make_template
  flock -u 9
  exec 9>&-

  rm -rf "$prefix"
  cp -a "$template" "$prefix" || fail "cannot copy the prefix template"
  # COM ports are linked per test; none may survive from an earlier run.
  find "$prefix/dosdevices" -maxdepth 1 -name 'com*' ! -name com1 -exec rm -f {} +

  local display="" pid="" n
  for n in $(seq 40 90); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    setsid "$XVFB" ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$log/xvfb.txt" 2>&1 </dev/null &
    pid=$!
    if wait_until 100 test -e "/tmp/.X11-unix/X$n" && kill -0 "$pid" 2>/dev/null; then
      display=":$n"
      break
    fi
    kill "$pid" 2>/dev/null || true
    pid=""
  done
  [ -n "$display" ] || fail "could not start Xvfb on any display 40..90"

  {
    echo "WINEPREFIX=$prefix"
    echo "DISPLAY=$display"
    echo "XVFB_PID=$pid"
  } >"$envfile"

  WINEPREFIX=$prefix "$WINESERVER" -p >"$log/wineserver.txt" 2>&1 </dev/null \
    || fail "cannot start wineserver"
  # Start Wine's services now, so the first test does not pay for them.
  WINEPREFIX=$prefix DISPLAY=$display WINEDEBUG=-all timeout 120 "$WINE64" cmd.exe /c exit 0 \
    >"$log/warm-up.txt" 2>&1 </dev/null || fail "Wine does not run programs (see $log/warm-up.txt)"
  # The release is a 32-bit program: where this machine runs 32-bit code,
  # start Wine's 32-bit side too (its first start takes about 12 s).
  if "$(dirname "$WINE64")/wine" --version >/dev/null 2>&1; then
    WINEPREFIX=$prefix DISPLAY=$display WINEDEBUG=-all timeout 120 "$(dirname "$WINE64")/wine" cmd.exe /c exit 0 \
      >"$log/warm-up32.txt" 2>&1 </dev/null || fail "Wine does not run 32-bit programs (see $log/warm-up32.txt)"
  fi
  echo "wine-env: prefix $prefix, display $display, server warm"
}

case "$action" in
  start) start_all ;;
  stop) stop_all; echo "wine-env: stopped" ;;
  *) echo "usage: $0 start|stop STATE_DIR" >&2; exit 2 ;;
esac
