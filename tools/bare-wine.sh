#!/usr/bin/env bash
# Finds Wine started any way but the one the project has (tools/wine-prefix.sh wine ARG...,
# or launch.py's started()), which alone gives it the environment every check needs: a line that
# runs wine as a command, in a shell script, a CMake file or a guide's command; or a Python
# string "wine" that is not that entry point's subcommand. Prints each as FILE:LINE: TEXT and
# fails if there is any.
#   tools/bare-wine.sh FILE...
set -euo pipefail
# Where a command starts: a line, a separator, a substitution, a keyword, CMake's emulator; then
# any env and variable assignments before it.
assignment='[A-Za-z_][A-Za-z0-9_]*=[^[:space:]]*'
before="(^|[;&|\`{]|\\\$\\(|(\\b(exec|then|do|else|time)|_EMULATOR)[[:space:]])[[:space:]]*"
before+="(env([[:space:]]+-[^[:space:]]+([[:space:]]+[A-Z_]+)?|[[:space:]]+$assignment)*[[:space:]]+)?"
before+="(${assignment}[[:space:]]+)*"
command="${before}wine([[:space:]]|\$|[)\"'])"
python="([\"'])wine([\"'[:space:]])"
found=0
for file in "$@"; do
  pattern=$command
  [[ $file != *.py ]] || pattern=$python
  # The entry point's own subcommand is the one call allowed.
  mapfile -t lines < <(sed -E 's/wine-prefix\.sh"? wine\b/wine-prefix.sh/g
    s/WINE_PREFIX_SH, "wine"/WINE_PREFIX_SH/g' "$file" | grep -nE "$pattern" | cut -d: -f1)
  for line in "${lines[@]}"; do
    echo "$file:$line: $(sed -n "${line}p" "$file")"
    found=1
  done
done
[ $found -eq 0 ] || echo "bare-wine.sh: start Wine through tools/wine-prefix.sh wine, not bare" >&2
exit $found
