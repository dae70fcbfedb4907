#!/usr/bin/env bash
# Runs a command inside one Wine session on a private, throw-away prefix and a
# virtual X display, so that Windows test programs can create real windows.
#   tools/wine-session.sh KEEPALIVE.EXE COMMAND [ARGS...]
# Inside COMMAND, `wine program.exe` runs against that session.
set -euo pipefail
keepalive=$(realpath "$1")
shift

export WINEPREFIX
WINEPREFIX=$(mktemp -d /tmp/calc-wineprefix-XXXXXX)
# Wine's debugger stays off, so that a program that crashes ends at once with
# its exception code instead of waiting in the debugger until the timeout.
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
unset DISPLAY

cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
# A wineserver started without a display cannot create windows: none may linger.
wineserver -k 2>/dev/null || true
exec </dev/null

session='
  set -u
  wineboot -i >/dev/null 2>&1
  wineserver -w
  ready="$WINEPREFIX/keepalive.ready"
  wine "$KEEPALIVE" "Z:${ready//\//\\}" >/dev/null 2>&1 &
  for _ in $(seq 600); do [ -e "$ready" ] && break; sleep 0.1; done
  [ -e "$ready" ] || { echo "wine-session: the keep-alive program did not start" >&2; exit 1; }
  "$@"
  status=$?
  wineserver -k
  exit $status
'
KEEPALIVE=$keepalive xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
  bash -c "$session" wine-session "$@"
