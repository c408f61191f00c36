#!/usr/bin/env bash
# Wine, started one way for every check, demo and hand run: in a prefix of its own, with its
# server kept up between runs, and the environment below.
#   tools/wine-prefix.sh start DIR            makes the prefix unless it exists, starts its server
#   tools/wine-prefix.sh stop DIR             stops the server and every Wine process of the prefix
#   tools/wine-prefix.sh run DIR COMMAND...   COMMAND in a new prefix, removed afterwards
#   tools/wine-prefix.sh wine ARG...          wine ARG... in the prefix WINEPREFIX names
# LARNIX_DISPLAY, where set, is the X display Wine is given; only a test of a real keyboard sets it.
set -euo pipefail
usage() {
  echo "usage: $0 start|stop DIR, run DIR COMMAND..., or wine ARG..." >&2
  exit 2
}
case ${1:-} in
start | stop) [ $# -eq 2 ] || usage ;;
run) [ $# -gt 2 ] || usage ;;
wine) [ $# -gt 1 ] || usage ;;
*) usage ;;
esac
# No menus or desktop entries in the user's home: Wine's menu builder stays off. Wine's own
# messages stay off unless the caller asks for a channel, as they would mix with the standard
# error the checks compare.
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=winemenubuilder.exe=d
if [ "$1" = wine ]; then
  [ -n "${WINEPREFIX:-}" ] || {
    echo "wine-prefix.sh: wine needs WINEPREFIX, a prefix made by start or run" >&2
    exit 2
  }
else
  WINEPREFIX=$(realpath -m "$2")
fi
# No display: Wine then uses its null driver, the same on every machine. No TMPDIR: Debian 13's
# Wine 10 aborts in wineboot ("free(): invalid pointer") when it is set.
unset DISPLAY WAYLAND_DISPLAY TMPDIR
[ -z "${LARNIX_DISPLAY:-}" ] || export DISPLAY=$LARNIX_DISPLAY
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
wine)
  shift
  exec wine "$@"
  ;;
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
esac
