#!/usr/bin/env bash
# The version, as project(larnix VERSION ...) in CMakeLists.txt sets it, for CI and the release.
#   tools/version.sh        prints it
#   tools/version.sh TAG    fails unless TAG is v<version> and CHANGELOG.md has a dated section
#                           for that version; prints the section, the release's text
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(larnix VERSION \([0-9]*\.[0-9]*\.[0-9]*\)[ )].*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "version.sh: no version in CMakeLists.txt" >&2; exit 1; }
[ $# -gt 0 ] || { echo "$version"; exit 0; }
[ "$1" = "v$version" ] || { echo "version.sh: tag $1 is not v$version, the version in CMakeLists.txt" >&2; exit 1; }
# Keep a Changelog: from "## [VERSION]" to the next "## [" heading, without the link
# definitions at the end and the blank lines around.
notes=$(sed -n "/^## \[${version//./\\.}\]/,/^## \[/{/^## \[/d;/^\[[^]]*\]: /d;p}" CHANGELOG.md | sed '/./,$!d')
[ -n "$notes" ] || { echo "version.sh: CHANGELOG.md has no section for $version" >&2; exit 1; }
# A release's section carries its day; "Unreleased" there means the changelog was not finished.
grep -qE "^## \[${version//./\\.}\] - [0-9]{4}-[0-9]{2}-[0-9]{2}\$" CHANGELOG.md ||
  { echo "version.sh: CHANGELOG.md's section for $version has no release date" >&2; exit 1; }
echo "$notes"
