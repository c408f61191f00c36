#!/usr/bin/env bash
# Makes the release archive build/release/larnix-VERSION-win64.zip (the executables, the
# manual as README.md, the licence, SHA256SUMS), installing what is missing first, and prints
# its SHA-256 as the line a release's section of CHANGELOG.md records.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh demo
cmake --preset windows >/dev/null
cmake --build --preset windows -j 2 --target release >/dev/null
tools/version.sh --hash-line "build/release/larnix-$(tools/version.sh)-win64.zip"
