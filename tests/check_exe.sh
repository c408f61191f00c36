#!/usr/bin/env bash
# Checks what the built larnix.exe is, as a caller's system sees it: a GUI-subsystem
# program without a console, importing only system DLLs, stripped, with no link time
# stamp, and the same bytes when built again from the same sources in another folder.
# Usage: check_exe.sh larnix.exe source-dir
set -euo pipefail
exe=$1 source=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
headers=$(x86_64-w64-mingw32-objdump -p "$exe")

grep -qE '^Subsystem[[:space:]]+00000002' <<<"$headers" || fail "subsystem is not Windows GUI"
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | sort | tr '\n' ' ')
[ "$imports" = "KERNEL32.dll USER32.dll msvcrt.dll " ] || fail "imports: $imports"
grep -qE '^Time/Date[[:space:]]+Thu Jan  1 00:00:00 1970' <<<"$headers" || fail "link time stamp set"
x86_64-w64-mingw32-objdump -t "$exe" | grep -q 'no symbols' || fail "not stripped"

again=$(mktemp -d)
trap 'rm -rf "$again"' EXIT
cmake -S "$source" -B "$again" --toolchain "$source/cmake/toolchain-mingw-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$again" --target larnix >/dev/null
cmp "$exe" "$again/larnix.exe" || fail "a second build differs"
echo "larnix.exe: GUI subsystem, imports $imports, stripped, $(stat -c %s "$exe") bytes, reproducible"
