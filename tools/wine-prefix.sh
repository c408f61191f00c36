#!/usr/bin/env bash
# A Wine prefix of its own for running larnix.exe, with its server kept up between runs.
#   tools/wine-prefix.sh start DIR            makes the prefix unless it exists, starts its server
#   tools/wine-prefix.sh stop DIR             stops the server and every Wine process of the prefix
#   tools/wine-prefix.sh run DIR COMMAND...   COMMAND in a new prefix, removed afterwards
set -euo pipefail
usage() {
  echo "usage: $0 start|stop DIR, or run DIR COMMAND..." >&2
  exit 2
}
[ $# -eq 2 ] || { [ $# -gt 2 ] && [ "$1" = run ]; } || usage
# No menus or desktop entries in the user's home: Wine's menu builder stays off.
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES=winemenubuilder.exe=d
WINEPREFIX=$(realpath -m "$2")
# No display: Wine then uses its null driver, the same on every machine. No TMPDIR: Debian 13's
# Wine 10 aborts in wineboot ("free(): invalid pointer") when it is set.
unset DISPLAY WAYLAND_DISPLAY TMPDIR
log=$WINEPREFIX.log

stop() {
  [ -d "$WINEPREFIX" ] || return 0
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  # Debian's Wine puts the server's socket in a folder of /tmp, named in the prefix, that
  # outlives the server.
  local folder
  folder=$(cat "$WINEPREFIX/wineserver" 2>/dev/null) || return 0
  if [[ $folder == wine-?????? ]]; then rm -rf "/tmp/$folder"; fi
}

start() {
  mkdir -p "$WINEPREFIX"
  # The server and Wine's own processes outlive this script: their output goes to a log,
  # never to the caller's pipes, which would otherwise stay open.
  if ! wineboot -i </dev/null >"$log" 2>&1; then
    cat "$log" >&2
    exit 1
  fi
  # Wine 10 closes the desktop wineboot's server made a second or two after it ends, and
  # refuses every later program's input: a server started afresh gives one desktop to all.
  # Wine's own processes (services, the desktop) start with the first program: a program of
  # the script's, so that they hold the log open, not a later caller's pipes.
  stop
  wineserver -p </dev/null >>"$log" 2>&1
  wine cmd /c exit </dev/null >>"$log" 2>&1
}

case $1 in
start) start ;;
stop) stop ;;
run)
  shift 2
  stop
  rm -rf "$WINEPREFIX"
  start
  status=0
  "$@" || status=$?
  # A prefix is most of a gigabyte; its log stays for a look after a failure.
  stop
  rm -rf "$WINEPREFIX"
  exit $status
  ;;
*) usage ;;
esac
