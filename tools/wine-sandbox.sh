#!/usr/bin/env bash
# Runs COMMAND under Wine in a fresh prefix, inside process and mount namespaces of its own:
# when COMMAND ends, or this script is killed, every Wine process ends with it, and no mount
# is left on the machine. Root makes them as they are; an ordinary user inside a user namespace
# of their own, keeping their own ID there, as Wine runs only in a prefix its user owns.
#   tools/wine-sandbox.sh own PREFIX COMMAND...     under this machine's Wine
#   tools/wine-sandbox.sh other PREFIX COMMAND...   under the other Debian release's Wine, in
#                                                   its root file system (tools/debian-root.sh)
#   tools/wine-sandbox.sh check                     fails, with one line saying why, where this
#                                                   user may not make the namespaces
# The checkout, PREFIX's folder and the current folder are seen at their own paths.
set -euo pipefail
usage() {
  echo "usage: $0 own|other PREFIX COMMAND..., or $0 check" >&2
  exit 2
}
[ $# -ge 3 ] || [ "$*" = check ] || usage

own_user=() other_user=()
if [ "$(id -u)" -ne 0 ]; then
  own_user=(--user --map-current-user) other_user=(--unshare-user)
  # What the sandbox makes, tried: a security module may allow the user namespace, not the rest.
  if ! refused=$(unshare "${own_user[@]}" --mount --pid --fork --mount-proc true 2>&1); then
    why="this user may not make one ($refused)" how="allow them"
    if [ "$(cat /proc/sys/user/max_user_namespaces)" = 0 ]; then
      why="this kernel allows none (user.max_user_namespaces is 0)"
      how="allow them with 'sudo sysctl -w user.max_user_namespaces=10000'"
    elif [ "$(cat /proc/sys/kernel/apparmor_restrict_unprivileged_userns 2>/dev/null)" = 1 ]; then
      why="AppArmor keeps ordinary users from making them (kernel.apparmor_restrict_unprivileged_userns is 1)"
      how="allow them with 'sudo sysctl -w kernel.apparmor_restrict_unprivileged_userns=0'"
    fi
    echo "wine-sandbox.sh: the Wine checks run in user namespaces, and $why: $how, or run the tests as root" >&2
    exit 1
  fi
fi
[ "$1" = check ] && exit 0

source=$(cd "$(dirname "$0")/.." && pwd)
which=$1
prefix=$(realpath -m "$2")
shift 2
mkdir -p "$(dirname "$prefix")"
inner=("$source/tools/wine-prefix.sh" run "$prefix" "$@")

case $which in
own)
  # unshare dies with its parent, and the namespace's first process, so all of it, with unshare.
  exec setpriv --pdeathsig KILL unshare "${own_user[@]}" --mount --pid --fork --kill-child --mount-proc \
    "${inner[@]}"
  ;;
other)
  root=$("$source/tools/debian-root.sh")
  # Its first build takes a minute or two: a caller killed meanwhile wants no Wine started.
  [ "$(ps -o ppid= -p $$)" -eq "$PPID" ] || exit 1
  binds=()
  for folder in "$source" "$(dirname "$prefix")" "$PWD"; do
    binds+=(--bind "$folder" "$folder")
  done
  exec bwrap "${other_user[@]}" --bind "$root" / --dev /dev --tmpfs /dev/shm --proc /proc --ro-bind /sys /sys \
    --tmpfs /tmp --ro-bind /etc/resolv.conf /etc/resolv.conf "${binds[@]}" --chdir "$PWD" \
    --setenv HOME /tmp --unshare-pid --die-with-parent "${inner[@]}"
  ;;
*) usage ;;
esac
