#!/usr/bin/env bash
# Rehearses a Debian job of CI as its container runs it: .ci/run as root, with CI=true, no
# standard input and an environment of its own, on HEAD's files without .git (as
# actions/checkout leaves them where git is missing) with ../shared beside them, in a bare root
# file system made as the debian:CODENAME image is. That root is built once and kept pristine;
# a run writes to an overlay of it, in mount and pid namespaces whose first process is the run,
# so that nothing stays mounted or running however it ends. No certificate of this machine is
# trusted but its local authorities (a proxy's), staged where ca-certificates takes them from.
#   tools/ci-container.sh bookworm|trixie    prints the time, the status and where the log is
set -euo pipefail
case ${1:-} in
bookworm | trixie) release=$1 ;;
*)
  echo "usage: $0 bookworm|trixie" >&2
  exit 2
  ;;
esac
[ "$(id -u)" -eq 0 ] || exec sudo "$0" "$@"
cd "$(dirname "$0")/.."
lower=$(tools/debian-root.sh --bare "$release" "build/ci-$release-root")
run=$PWD/build/ci-$release-run log=$PWD/build/ci-$release.log
rm -rf "$run"
upper=$run/upper checkout=/__w/larnix/larnix
mkdir -p "$upper$checkout" "$upper/etc" "$upper/usr/local/share/ca-certificates" \
  "$run/work" "$run/root"
git archive HEAD | tar -x -C "$upper$checkout"
shared=$(dirname "$(git rev-parse --path-format=absolute --git-common-dir)")/../shared
[ ! -d "$shared" ] || cp -r "$shared" "$upper$checkout/../shared"
[ ! -d /usr/local/share/ca-certificates ] ||
  cp -r /usr/local/share/ca-certificates/. "$upper/usr/local/share/ca-certificates"
cp -L /etc/resolv.conf "$upper/etc/resolv.conf"
printf '127.0.0.1 localhost\n::1 localhost\n' >"$upper/etc/hosts"

start=$SECONDS status=0
# The overlay and the file systems a privileged container gets, then the root switched with
# pivot_root as a container engine does: under chroot, no user namespace could be made.
# The $1 and so on are the inner shell's.
# shellcheck disable=SC2016
setpriv --pdeathsig KILL unshare --mount --pid --fork --kill-child bash -euc '
  mount -t overlay overlay -o "lowerdir=$1,upperdir=$2/upper,workdir=$2/work" "$2/root"
  cd "$2/root"
  mount -t proc proc proc
  mount -t sysfs sysfs sys
  mount -t devpts -o newinstance,ptmxmode=0666 devpts dev/pts
  mount --bind dev/pts/ptmx dev/ptmx
  mount -t tmpfs tmpfs dev/shm
  pivot_root . .
  umount -l .
  cd "$3"
  exec env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root CI=true \
    bash .ci/run </dev/null
' - "$lower" "$run" "$checkout" 2>&1 | tee "$log" || status=$?
verdict=passed
[ $status -eq 0 ] || verdict="failed ($status)"
took="$(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s"
echo "ci-container.sh: $release: $verdict in $took; log: $log" >&2
exit $status
