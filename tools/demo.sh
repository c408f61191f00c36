#!/usr/bin/env bash
# Builds larnix.exe and keyview.exe and shows, under Wine, the key events larnix.exe sends
# for the given arguments; by default down:10 tap:41 up:10 (hold Shift, tap A, let go).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh demo
cmake --preset windows >/dev/null
cmake --build --preset windows -j 2 >/dev/null

# The prefix is kept for the next demo; its server never outlives this script.
prefix=build/wine-demo-prefix
trap 'tools/wine-prefix.sh stop "$prefix"' EXIT
[ -d "$prefix" ] || echo "making a Wine prefix in $prefix (a few seconds, once)" >&2
tools/wine-prefix.sh start "$prefix"

[ $# -gt 0 ] || set -- down:10 tap:41 up:10
# Wine 10 writes an error line without the session's runtime folder, which a login over ssh
# or a container may not have: it gets one of its own.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR=$PWD/build/wine-runtime
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
fi
WINEPREFIX=$(realpath "$prefix") tools/wine-prefix.sh wine build/windows/keyview/keyview.exe \
  build/windows/larnix.exe "$@"
