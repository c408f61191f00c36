#!/usr/bin/env bash
# A Wine prefix of its own for running larnix.exe, with its server kept up between runs.
#   tools/wine-prefix.sh start DIR    makes the prefix unless it exists, starts its server
#   tools/wine-prefix.sh fresh DIR    the same on a new, empty prefix
#   tools/wine-prefix.sh stop DIR     stops the server and every Wine process of the prefix
#   tools/wine-prefix.sh remove DIR   stops them and deletes the prefix
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 start|fresh|stop|remove DIR" >&2; exit 2; }
export WINEPREFIX WINEDEBUG=-all
WINEPREFIX=$(realpath -m "$2")
# No display: Wine then uses its null driver, the same on every machine.
unset DISPLAY WAYLAND_DISPLAY
log=$WINEPREFIX.log

stop() {
  [ -d "$WINEPREFIX" ] || return 0
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

start() {
  mkdir -p "$WINEPREFIX"
  # The server and Wine's own processes outlive this script: their output goes to a log,
  # never to the caller's pipes, which would otherwise stay open.
  wineserver -p </dev/null >"$log" 2>&1
  if ! wineboot -i </dev/null >>"$log" 2>&1; then
    cat "$log" >&2
    exit 1
  fi
}

case $1 in
start) start ;;
fresh) stop; rm -rf "$WINEPREFIX"; start ;;
stop) stop ;;
remove) stop; rm -rf "$WINEPREFIX" "$log" ;;
*) echo "usage: $0 start|fresh|stop|remove DIR" >&2; exit 2 ;;
esac
