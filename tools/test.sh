#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test; fails when any fails.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

# The program against the stand-in platform.
cmake --preset host
cmake --build --preset host -j 2
ctest --preset host

# larnix.exe itself, run under Wine.
cmake --preset windows
cmake --build --preset windows -j 2
ctest --preset windows
