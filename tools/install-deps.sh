#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test tools this machine lacks.
set -euo pipefail

packages=(cmake make g++ libgtest-dev python3 g++-mingw-w64-x86-64 wine wine64 clang clang-tidy cppcheck valgrind
  mmdebstrap bubblewrap unzip)
# The linters of tools/static-analysis.sh for the shell scripts and the Python files, and
# newuidmap, with which mmdebstrap builds the other release's root file system without root.
packages+=(shellcheck pyflakes3 uidmap)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "installing: ${missing[*]}" >&2
$sudo apt-get update -q </dev/null
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" </dev/null
