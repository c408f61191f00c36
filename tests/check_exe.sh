#!/usr/bin/env bash
# Checks what a user downloads, read back from the files themselves. Each executable
# carries the version resource and the manifest (UTF-8 code page, run as the caller), the
# header of an x64 tool (ASLR with high entropy, DEP, terminal-server aware, subsystem and
# OS version 6.0), no symbols and no link time stamp; larnix.exe is a GUI-subsystem program
# importing only system DLLs. The release archive holds exactly the executables, the manual
# as README.md, the licence as LICENSE.txt and SHA256SUMS, with fixed dates and permissions;
# the manual is for a Windows user alone. A second build in another folder, by another umask
# in another time zone, gives the same bytes for all three files.
# Usage: check_exe.sh VERSION SOURCE_DIR LARNIX_EXE KEYVIEW_EXE ARCHIVE
set -euo pipefail
version=$1 source=$2 larnix=$3 keyview=$4 archive=$5
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

check_shipped() {
  local exe=$1 name headers resources manifest
  name=$(basename "$exe")
  headers=$(x86_64-w64-mingw32-objdump -p "$exe")
  grep -qE '^DllCharacteristics[[:space:]]+00008160$' <<<"$headers" || fail "$name: header flags"
  for field in MajorSubsystemVersion MajorOSystemVersion; do
    grep -qE "^${field}[[:space:]]+6\$" <<<"$headers" || fail "$name: $field is not 6"
  done
  for field in MinorSubsystemVersion MinorOSystemVersion; do
    grep -qE "^${field}[[:space:]]+0\$" <<<"$headers" || fail "$name: $field is not 0"
  done
  grep -qE '^Time/Date[[:space:]]+Thu Jan  1 00:00:00 1970' <<<"$headers" || fail "$name: link time stamp set"
  x86_64-w64-mingw32-objdump -t "$exe" | grep -q 'no symbols' || fail "$name: not stripped"

  # The resources as the resource compiler reads them back: the version, fields exactly
  # these, and the manifest as resource 1 of type 24.
  resources=$(x86_64-w64-mingw32-windres -i "$exe" -O rc)
  grep -qx " FILEVERSION ${version//./, }, 0" <<<"$resources" || fail "$name: FILEVERSION"
  grep -qx " PRODUCTVERSION ${version//./, }, 0" <<<"$resources" || fail "$name: PRODUCTVERSION"
  grep -qE '^ *VALUE "FileDescription", "[^"]{10,}"$' <<<"$resources" || fail "$name: FileDescription"
  local fields
  fields=$(sed -n 's/^ *VALUE "\([A-Za-z]*\)", "\(.*\)"$/\1=\2/p' <<<"$resources" | grep -v '^FileDescription=' || true)
  [ "$fields" = "$(printf '%s\n' "FileVersion=$version.0" "InternalName=$name" \
    "LegalCopyright=Copyright (c) 2026 the larnix authors" "OriginalFilename=$name" \
    "ProductName=larnix" "ProductVersion=$version.0")" ] ||
    fail "$name: version fields"$'\n'"$fields"
  manifest=$(sed -n '/^1 24 /,/^END/s/^  "\(.*\)"$/\1/p' <<<"$resources" | sed 's/""/"/g; s/\\n$//')
  [ -n "$manifest" ] || fail "$name: no manifest resource"
  # A manifest Windows cannot parse stops the program from starting at all.
  local settings
  settings=$(python3 -c '
import sys, xml.etree.ElementTree as ET
root = ET.fromstring(sys.stdin.read())
level = root.find(".//{urn:schemas-microsoft-com:asm.v3}requestedExecutionLevel")
page = root.find(".//{http://schemas.microsoft.com/SMI/2019/WindowsSettings}activeCodePage")
systems = [e.get("Id") for e in root.iter("{urn:schemas-microsoft-com:compatibility.v1}supportedOS")]
print(level.get("level"), level.get("uiAccess"), page.text, *systems)' <<<"$manifest") ||
    fail "$name: manifest unreadable"
  [ "$settings" = "asInvoker false UTF-8 {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}" ] ||
    fail "$name: manifest says $settings"
}

check_shipped "$larnix"
check_shipped "$keyview"
headers=$(x86_64-w64-mingw32-objdump -p "$larnix")
grep -qE '^Subsystem[[:space:]]+00000002' <<<"$headers" || fail "larnix.exe: subsystem is not Windows GUI"
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | sort | tr '\n' ' ')
[ "$imports" = "KERNEL32.dll USER32.dll msvcrt.dll " ] || fail "larnix.exe: imports $imports"

unpacked=$(mktemp -d) again=$(mktemp -d)
trap 'rm -rf "$unpacked" "$again"' EXIT
[ "$(basename "$archive")" = "larnix-$version-win64.zip" ] || fail "archive named $(basename "$archive")"
listing=$(zipinfo "$archive" | sed -n 's/^\(-rw-r--r--\) .* 80-Jan-01 00:00 /\1 /p')
[ "$listing" = "$(printf -- '-rw-r--r-- %s\n' LICENSE.txt README.md SHA256SUMS keyview.exe larnix.exe)" ] ||
  fail "archive entries, dates or permissions:"$'\n'"$(zipinfo "$archive")"
unzip -q "$archive" -d "$unpacked"
(cd "$unpacked" && sha256sum --check --strict --quiet SHA256SUMS) || fail "SHA256SUMS does not match"
[ "$(cut -d' ' -f3 "$unpacked/SHA256SUMS" | tr '\n' ' ')" = "keyview.exe larnix.exe " ] ||
  fail "SHA256SUMS lists $(cut -d' ' -f3 "$unpacked/SHA256SUMS")"
for file in "$larnix" "$keyview"; do
  cmp "$file" "$unpacked/$(basename "$file")" || fail "the archive's $(basename "$file") is not the one built"
done
manual=$source/docs/manual.md
cmp "$manual" "$unpacked/README.md" || fail "the archive's README.md is not docs/manual.md"
cmp "$source/LICENSE" "$unpacked/LICENSE.txt" || fail "the archive's LICENSE.txt is not LICENSE"
[ "$(head -1 "$manual")" = "# larnix $version" ] || fail "the manual is titled $(head -1 "$manual")"
# Every version the manual names is this one: larnix's, its files' and the version resource's.
stale=$(grep -oE 'larnix[- ][0-9]+(\.[0-9]+)+|\b[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+\b' "$manual" |
  sed 's/^larnix[- ]//' | grep -vxF -e "$version" -e "$version.0" | sort -u || true)
[ -z "$stale" ] || fail "the manual names version $stale, not $version"
# What only the developer needs stays out of what a Windows user reads.
linux_side=$(grep -noiE 'apt-get|sudo|tools/|WINEPREFIX|wine-[a-z]*-prefix|wineserver|cmake|ctest|this machine' "$manual" || true)
[ -z "$linux_side" ] || fail "the manual names Linux-side tools or build steps:"$'\n'"$linux_side"
# Read as UTF-8 whatever the caller's locale: in the C locale, Debian 13's wc also splits words at
# the bytes of a character such as the manual's dagger.
words=$(LC_ALL=C.UTF-8 wc -w <"$manual")
[ "$words" -le 2300 ] || fail "the manual has $words words, more than 2300"
# A line over 100 characters is allowed only when it holds one link, as a list item or alone.
wide=$(python3 -c '
import re, sys
for number, line in enumerate(open(sys.argv[1], encoding="utf-8").read().splitlines(), 1):
    if len(line) > 100 and not re.fullmatch(r"(- )?\[[^]]*\]\(https:\S*\)|https:\S*", line):
        print("%d: %s" % (number, line))' "$manual")
[ -z "$wide" ] || fail "the manual has lines over 100 columns:"$'\n'"$wide"

(umask 077 && TZ=Pacific/Kiritimati cmake -S "$source" -B "$again" \
  --toolchain "$source/cmake/toolchain-mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null &&
  TZ=Pacific/Kiritimati cmake --build "$again" --target release >/dev/null)
for built in "$larnix" "$keyview" "$archive"; do
  cmp "$built" "$(find "$again" -name "$(basename "$built")" -print -quit)" ||
    fail "a second build of $(basename "$built") differs"
done
echo "larnix.exe $version: GUI subsystem, imports $imports, $(stat -c %s "$larnix") bytes;" \
  "keyview.exe $(stat -c %s "$keyview") bytes; both with version and manifest, stripped;" \
  "$(basename "$archive") $(stat -c %s "$archive") bytes; all three reproducible"
