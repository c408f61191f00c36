#!/usr/bin/env bash
# The version, as project(larnix VERSION ...) in CMakeLists.txt sets it, and its release date,
# for CI, the release and the package manifests: the one place that reads either.
#   tools/version.sh                prints it
#   tools/version.sh --date         prints the date of its section in CHANGELOG.md, or nothing
#                                   while that section has none
#   tools/version.sh TAG            fails unless TAG is v<version> and CHANGELOG.md has a section
#                                   for that version dated ## [VERSION] - YYYY-MM-DD, which a
#                                   section not yet released marks Unreleased in place of the
#                                   date; prints the section, the release's text
#   tools/version.sh TAG ARCHIVE    the same, and fails unless that section records ARCHIVE's
#                                   SHA-256 on a line of its own, as --hash-line prints it
#   tools/version.sh --hash-line ARCHIVE    prints that line
set -euo pipefail
# The archive is named from where this was started.
[ $# -lt 2 ] || set -- "$1" "$(realpath "$2")"
cd "$(dirname "$0")/.."
sha256() { sha256sum <"$1" | cut -d' ' -f1; }
refuse() {
  echo "version.sh: $*" >&2
  exit 1
}
if [ "${1:-}" = --hash-line ]; then
  echo "SHA-256 of \`$(basename "$2")\`: \`$(sha256 "$2")\`"
  exit 0
fi
version=$(sed -n 's/^project(larnix VERSION \([0-9]*\.[0-9]*\.[0-9]*\)[ )].*/\1/p' CMakeLists.txt)
[ -n "$version" ] || refuse "no version in CMakeLists.txt"
# Keep a Changelog: the section's heading, "## [VERSION] - DATE".
heading=$(grep -E "^## \[${version//./\\.}\]" CHANGELOG.md 2>/dev/null | head -1 || true)
date=$(sed -nE 's/^## \[[^]]*\] - ([0-9]{4}-[0-9]{2}-[0-9]{2})$/\1/p' <<<"$heading")
case ${1:-} in
'')
  echo "$version"
  exit 0
  ;;
--date)
  [ -z "$date" ] || echo "$date"
  exit 0
  ;;
esac
[ "$1" = "v$version" ] || refuse "tag $1 is not v$version, the version in CMakeLists.txt"
# From the heading to the next "## [" heading, without the link definitions at the end and the
# blank lines around.
notes=$(sed -n "/^## \[${version//./\\.}\]/,/^## \[/{/^## \[/d;/^\[[^]]*\]: /d;p}" CHANGELOG.md | sed '/./,$!d')
[ -n "$notes" ] || refuse "CHANGELOG.md has no section for $version"
[[ $heading != *" - Unreleased" ]] || refuse "CHANGELOG.md's section for $version is marked Unreleased"
[ -n "$date" ] || refuse "CHANGELOG.md's section for $version has no release date"
if [ $# -gt 1 ]; then
  # Only bytes a developer rebuilt are published: CI's archive must be the one recorded.
  name=$(basename "$2")
  built=$(sha256 "$2")
  recorded=$(sed -n "s/^SHA-256 of \`${name//./\\.}\`: \`\([0-9a-f]\{64\}\)\`\$/\1/p" <<<"$notes")
  [ -n "$recorded" ] || refuse "CHANGELOG.md's section for $version records no SHA-256 of $name"
  [ "$built" = "$recorded" ] || refuse "$name has SHA-256 $built, CHANGELOG.md records $recorded"
fi
echo "$notes"
