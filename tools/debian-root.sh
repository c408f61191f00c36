#!/usr/bin/env bash
# The other Debian release's root file system, with its Wine and Python, for running the
# end-to-end checks under a second Wine: Debian 13 on a Debian 12 machine, Debian 12 on 13.
# Built from Debian's packages (mmdebstrap, minbase) on first use, then kept. Prints its path.
#   tools/debian-root.sh [DIR]                default DIR: build/debian-CODENAME-root
#   tools/debian-root.sh --bare CODENAME DIR  as root: one with nothing added, owners and
#                                             devices kept, its updates and security sources
#                                             listed, as the debian:CODENAME image is made
set -euo pipefail
cd "$(dirname "$0")/.."
# The machine's own file, not one of the checkout's for shellcheck to follow.
# shellcheck source=/dev/null
. /etc/os-release
refuse() {
  echo "debian-root.sh: $*" >&2
  exit 1
}
case $VERSION_CODENAME in
bookworm) other=trixie ;;
trixie) other=bookworm ;;
*) refuse "runs on Debian 12 or 13, not on ${PRETTY_NAME:-this system}" ;;
esac
# The mirrors this machine's own packages come from. The $(…) are apt's fields, not the shell's.
mirror() {
  # shellcheck disable=SC2016
  apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Created-By: Packages' |
    awk -v release="$VERSION_CODENAME$1" '$2 == release { print $1; exit }'
}
mirror=$(mirror "")
[ -n "$mirror" ] || refuse "no mirror for $VERSION_CODENAME in apt's lists"

if [ "${1:-}" = --bare ]; then
  if [ $# -ne 3 ] || [ "$(id -u)" -ne 0 ]; then
    echo "usage: sudo $0 --bare CODENAME DIR" >&2
    exit 2
  fi
  release=$2 root=$(realpath -m "$3") ready=usr/bin/apt-get options=() untar=()
  sources=("deb $mirror $release main" "deb $mirror $release-updates main")
  security=$(mirror -security)
  [ -z "$security" ] || sources+=("deb $security $release-security main")
else
  release=$other root=$(realpath -m "${1:-build/debian-$other-root}") ready=usr/bin/wine
  options=("--include=wine,wine64,python3" --aptopt='APT::Install-Recommends "false"')
  # Unpacked without the owners the tarball records, the files belong to whoever runs this,
  # who can delete them; the sandbox brings its own /dev.
  untar=(--no-same-owner --exclude='./dev/*')
  sources=("$mirror")
fi
if [ ! -x "$root/$ready" ]; then
  # Without root, apt and dpkg's users in the build are this user's subordinate IDs.
  [ "$(id -u)" -eq 0 ] || grep -qE "^($(id -un)|$(id -u)):" /etc/subuid ||
    refuse "$(id -un) has no subordinate IDs (/etc/subuid), which building without root needs: add a range with 'sudo usermod --add-subuids FIRST-LAST --add-subgids FIRST-LAST $(id -un)', or run the tests as root"
  echo "building Debian $release's root file system in $root (a minute or two, once)" >&2
  # mmdebstrap's work folder, kept here rather than in /tmp: one that a killed build left
  # holds files of this user's subordinate IDs, which only a user namespace mapping them can
  # remove, and the next build does.
  work=$root.work
  remove() {
    if [ -d "$1" ] && [ "$(id -u)" -ne 0 ]; then unshare --map-auto --map-root-user rm -rf "$1"; fi
    rm -rf "$1"
  }
  remove "$work"
  rm -rf "$root.part"
  mkdir -p "$work" "$root.part"
  # Unshare mode needs no root: apt and dpkg run in namespaces of their own, with their mounts,
  # gone with the build however it ends. The folder takes its name only when complete.
  TMPDIR=$work mmdebstrap --quiet --variant=minbase --mode=unshare "${options[@]}" \
    "$release" - "${sources[@]}" </dev/null |
    tar -x -C "$root.part" "${untar[@]}"
  remove "$work"
  rm -rf "$root"
  mv "$root.part" "$root"
fi
echo "$root"
