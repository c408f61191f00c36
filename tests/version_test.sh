#!/usr/bin/env bash
# The release gate, tools/version.sh TAG ARCHIVE, run on a copy of the tree with a changelog
# of each case's: it passes only for the tag of the version in CMakeLists.txt, a dated section
# and that section's own record of the archive's SHA-256, printing the section; otherwise it
# fails with one line. An older section records the right hash, so that only this one counts. A
# section marked Unreleased in place of its date is refused.
# Usage: version_test.sh SOURCE_DIR
set -euo pipefail
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir "$tree/tools"
cp "$1/tools/version.sh" "$tree/tools/"
cp "$1/CMakeLists.txt" "$tree/"
version=$("$tree/tools/version.sh")
name=larnix-$version-win64.zip
echo "archive bytes" >"$tree/$name"
hash=$(sha256sum <"$tree/$name" | cut -d' ' -f1)
off=$(tr 0-9a-f 1-9a-f0 <<<"${hash:0:1}")${hash:1}
failed=0

expect() { # TAG HEADING HASH_LINE REFUSAL: REFUSAL is the one line expected, or empty to pass
  printf "## [%s\n\nNew.\n\n%s\n\n## [0.9.0] - 2026-01-01\n\nSHA-256 of \`%s\`: \`%s\`\n" \
    "$2" "$3" "$name" "$hash" >"$tree/CHANGELOG.md"
  local out err status=0
  out=$("$tree/tools/version.sh" "$1" "$tree/$name" 2>"$tree/err") || status=$?
  err=$(cat "$tree/err")
  if [ -n "$4" ] && { [ $status -ne 1 ] || [ "$err" != "version.sh: $4" ]; }; then
    echo "FAIL $1 '$2' '$3': status $status, said '$err', not 'version.sh: $4'"
    failed=1
  elif [ -z "$4" ] && { [ $status -ne 0 ] || [ "$out" != "$(printf 'New.\n\n%s' "$3")" ]; }; then
    echo "FAIL $1 '$2' '$3': status $status, printed '$out', said '$err'"
    failed=1
  fi
}

# The line the gate accepts is the one release.sh prints for the changelog.
right=$("$tree/tools/version.sh" --hash-line "$tree/$name")
expect "v$version" "$version] - 2026-12-08" "$right" ""
expect "v$version" "$version] - 2026-12-08" "SHA-256 of \`$name\`: \`$off\`" \
  "$name has SHA-256 $hash, CHANGELOG.md records $off"
expect "v$version" "$version] - 2026-12-08" "" "CHANGELOG.md's section for $version records no SHA-256 of $name"
expect "v$version" "$version] - 2026-12-08" "SHA-256 of \`larnix-0.9.0-win64.zip\`: \`$hash\`" \
  "CHANGELOG.md's section for $version records no SHA-256 of $name"
# The marker of a section not yet released (dated, the first case passes), and no date at all.
expect "v$version" "$version] - Unreleased" "$right" "CHANGELOG.md's section for $version is marked Unreleased"
expect "v$version" "$version]" "$right" "CHANGELOG.md's section for $version has no release date"
expect "v$version.1" "$version] - 2026-12-08" "$right" "tag v$version.1 is not v$version, the version in CMakeLists.txt"
exit $failed
