#!/usr/bin/env bash
# tools/bare-wine.sh on one line at a time, in a shell script, a Python file and a guide: each
# way of running wine outside the entry point is found, and the entry point and mere mentions
# of Wine's packages are not.
# Usage: bare_wine_test.sh SOURCE_DIR
set -euo pipefail
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
failed=0
# VERDICT (found or clean), FILE's suffix, LINE, with {w} for wine: static analysis reads this file.
while IFS=$'\t' read -r verdict suffix line; do
  line=${line//\{w\}/wine}
  printf '%s\n' "$line" >"$tree/file.$suffix"
  got=clean
  "$1/tools/bare-wine.sh" "$tree/file.$suffix" >/dev/null 2>&1 || got=found
  if [ "$got" != "$verdict" ]; then
    echo "FAIL: $suffix line '$line': $got, not $verdict"
    failed=1
  fi
done <<'CASES'
found	sh	{w} build/windows/larnix.exe tap:41
found	sh	  record=$({w} "$viewer" --records "$exe")
found	sh	echo "$({w} --version)"
found	sh	env -u TMPDIR -u DISPLAY WINEDEBUG=-all {w} keyview.exe
found	sh	WINEPREFIX=$PWD/p WINEDEBUG=-all {w} cmd /c exit
found	sh	[ -d p ] && exec {w} cmd
found	sh	if true; then {w} cmd; fi
found	md	  `env -u TMPDIR {w} build/windows/keyview/keyview.exe --records`.
found	cmake	set(CMAKE_CROSSCOMPILING_EMULATOR {w})
found	py	subprocess.run(["{w}", "--version"])
found	py	os.system('{w} cmd /c exit')
clean	sh	tools/{w}-prefix.sh {w} build/windows/larnix.exe tap:41
clean	sh	WINEPREFIX=$(realpath p) "$source/tools/{w}-prefix.sh" {w} keyview.exe
clean	sh	packages=(cmake make {w} {w}64 python3)
clean	sh	{w}server -k; {w}boot -i
clean	md	mmdebstrap's minbase with `{w}`, `{w}64` and `python3`
clean	cmake	foreach({w} own other)
clean	cmake	set(CMAKE_CROSSCOMPILING_EMULATOR ${dir}/tools/{w}-prefix.sh {w})
clean	py	return [WINE_PREFIX_SH, "{w}"] + command, env
clean	py	# the Wine that runs the programs, {w}-8.0
CASES
exit $failed
