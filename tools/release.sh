#!/usr/bin/env bash
# Makes the release archive build/release/larnix-VERSION-win64.zip (the executables, the
# manual as README.md, the licence, SHA256SUMS), installing what is missing first, and prints
# its SHA-256 as the line a release's section of CHANGELOG.md records. In build/release/packages,
# what the release job adds for its repository, here for the placeholder OWNER/larnix: the Scoop
# and winget manifests, and the end of the release's text.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh demo
cmake --preset windows >/dev/null
cmake --build --preset windows -j 2 --target release >/dev/null
version=$(tools/version.sh)
archive=build/release/larnix-$version-win64.zip
mkdir -p build/release/packages
python3 tools/package_manifests.py OWNER/larnix "v$version" "$archive" build/release/packages \
  >build/release/packages/release-notes-end.md
tools/version.sh --hash-line "$archive"
