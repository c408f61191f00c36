#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test; fails when any fails.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

# The program against the stand-in platform.
cmake --preset host
cmake --build --preset host -j 2
ctest --preset host

# clang-tidy and cppcheck over the program; any finding fails.
tools/static-analysis.sh

# The host tests again under AddressSanitizer and UndefinedBehaviorSanitizer, and a bounded
# run (60 s) of the fuzz target; tools/fuzz.sh runs it for longer.
cmake --preset host-asan
cmake --build --preset host-asan -j 2
ctest --preset host-asan

# larnix.exe itself, run under Wine.
cmake --preset windows
cmake --build --preset windows -j 2
# Where this user may not make the namespaces the Wine checks run in: one line says why.
tools/wine-sandbox.sh check
ctest --preset windows
