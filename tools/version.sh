#!/usr/bin/env bash
# The version, as project(larnix VERSION ...) in CMakeLists.txt sets it, for CI and the release.
#   tools/version.sh                prints it
#   tools/version.sh TAG            fails unless TAG is v<version> and CHANGELOG.md has a dated
#                                   section for that version, which no longer says what only held
#                                   before the release; prints the section, the release's text
#   tools/version.sh TAG ARCHIVE    the same, and fails unless that section records ARCHIVE's
#                                   SHA-256 on a line of its own, as --hash-line prints it
#   tools/version.sh --hash-line ARCHIVE    prints that line
set -euo pipefail
# The archive is named from where this was started.
[ $# -lt 2 ] || set -- "$1" "$(realpath "$2")"
cd "$(dirname "$0")/.."
sha256() { sha256sum <"$1" | cut -d' ' -f1; }
[ "${1:-}" != --hash-line ] || { echo "SHA-256 of \`$(basename "$2")\`: \`$(sha256 "$2")\`"; exit 0; }
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
# Sentences true only before the release, which a published text would still say.
for stale in "recorded here when the release is cut" "Not yet run on Windows itself"; do
  [[ $(tr '\n' ' ' <<<"$notes") != *"$stale"* ]] ||
    { echo "version.sh: CHANGELOG.md's section for $version still says \"$stale\"" >&2; exit 1; }
done
if [ $# -gt 1 ]; then
  # Only bytes a developer rebuilt are published: CI's archive must be the one recorded.
  name=$(basename "$2")
  built=$(sha256 "$2")
  recorded=$(sed -n "s/^SHA-256 of \`${name//./\\.}\`: \`\([0-9a-f]\{64\}\)\`\$/\1/p" <<<"$notes")
  [ -n "$recorded" ] ||
    { echo "version.sh: CHANGELOG.md's section for $version records no SHA-256 of $name" >&2; exit 1; }
  [ "$built" = "$recorded" ] ||
    { echo "version.sh: $name has SHA-256 $built, CHANGELOG.md records $recorded" >&2; exit 1; }
fi
echo "$notes"
