#!/usr/bin/env bash
# Makes the release archive build/release/larnix-VERSION-win64.zip (the executables,
# the manual as README.md, SHA256SUMS), installing what is missing first, and prints its SHA-256.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j 2 --target release >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
sha256sum "build/release/larnix-$version-win64.zip"
