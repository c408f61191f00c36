#!/usr/bin/env bash
# Runs COMMAND under Wine in a fresh prefix, inside process and mount namespaces of its own:
# when COMMAND ends, or this script is killed, every Wine process ends with it, and no mount
# is left on the machine.
#   tools/wine-sandbox.sh own PREFIX COMMAND...     under this machine's Wine
#   tools/wine-sandbox.sh other PREFIX COMMAND...   under the other Debian release's Wine, in
#                                                   its root file system (tools/debian-root.sh)
# The checkout, PREFIX's folder and the current folder are seen at their own paths.
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: $0 own|other PREFIX COMMAND..." >&2; exit 2; }
# Namespaces and the root file system need root, as apt-get does: through sudo otherwise.
[ "$(id -u)" -eq 0 ] || exec sudo env PYTHONDONTWRITEBYTECODE=1 "$0" "$@"
source=$(cd "$(dirname "$0")/.." && pwd)
which=$1
prefix=$(realpath -m "$2")
shift 2
mkdir -p "$(dirname "$prefix")"
inner=("$source/tools/wine-prefix.sh" run "$prefix" "$@")

case $which in
own)
  # unshare dies with its parent, and the namespace's first process, so all of it, with unshare.
  exec setpriv --pdeathsig KILL unshare --mount --pid --fork --kill-child --mount-proc "${inner[@]}" ;;
other)
  root=$("$source/tools/debian-root.sh")
  binds=()
  for folder in "$source" "$(dirname "$prefix")" "$PWD"; do
    binds+=(--bind "$folder" "$folder")
  done
  exec bwrap --bind "$root" / --dev /dev --tmpfs /dev/shm --proc /proc --ro-bind /sys /sys \
    --tmpfs /tmp --ro-bind /etc/resolv.conf /etc/resolv.conf "${binds[@]}" --chdir "$PWD" \
    --setenv HOME /tmp --unshare-pid --die-with-parent "${inner[@]}" ;;
*) echo "usage: $0 own|other PREFIX COMMAND..." >&2; exit 2 ;;
esac
