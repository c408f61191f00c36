#!/usr/bin/env bash
# The other Debian release's root file system, with its Wine and Python, for running the
# end-to-end checks under a second Wine: Debian 13 on a Debian 12 machine, Debian 12 on 13.
# Built from Debian's packages (mmdebstrap, minbase) on first use, then kept. Prints its path.
#   tools/debian-root.sh [DIR]    default DIR: build/debian-CODENAME-root
set -euo pipefail
cd "$(dirname "$0")/.."
. /etc/os-release
case $VERSION_CODENAME in
bookworm) other=trixie ;;
trixie) other=bookworm ;;
*) echo "debian-root.sh: runs on Debian 12 or 13, not on ${PRETTY_NAME:-this system}" >&2; exit 1 ;;
esac
root=$(realpath -m "${1:-build/debian-$other-root}")
if [ ! -x "$root/usr/bin/wine" ]; then
  # The mirror this machine's own packages come from.
  mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Created-By: Packages' |
    awk -v release="$VERSION_CODENAME" '$2 == release { print $1; exit }')
  [ -n "$mirror" ] || { echo "debian-root.sh: no mirror for $VERSION_CODENAME in apt's lists" >&2; exit 1; }
  echo "building Debian $other's root file system in $root (about 2 minutes, once)" >&2
  rm -rf "$root.part"
  mkdir -p "$root.part"
  # Its mounts live in a namespace of their own, gone with the build however it ends; the
  # folder takes its name only when complete.
  unshare --mount --pid --fork --kill-child --mount-proc \
    mmdebstrap --quiet --variant=minbase --mode=root \
      --include=wine,wine64,python3 --aptopt='APT::Install-Recommends "false"' \
      "$other" "$root.part" "$mirror" </dev/null >&2
  rm -rf "$root"
  mv "$root.part" "$root"
fi
echo "$root"
