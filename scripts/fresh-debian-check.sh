#!/usr/bin/env bash
# Runs the README's two quick-start commands the way a newcomer meets them: in a freshly
# bootstrapped Debian 12 root (debootstrap, minbase: not even the compiler is there), on a clone of
# this repository's committed HEAD, one after the other, and prints how long each took.
#
#   sudo bash scripts/fresh-debian-check.sh [--setup-only] [--keep] [ROOT]
#
# ROOT (default: a new folder under /var/tmp) must not exist yet. --setup-only stops after the
# first command; --keep leaves the root in place afterwards (else it is removed). Needs root,
# debootstrap, git, and the Debian mirror. The root shares the machine's network namespace (apt
# needs it) and gets its own /proc, /sys, /dev and /run, mounted in a private mount namespace so
# that they vanish with the run. The tests inside make their own network namespaces, as on any
# machine.
set -euo pipefail
cd "$(dirname "$0")/.."

setup_only=0
keep=0
root=""
for arg in "$@"; do
  case "$arg" in
    --setup-only) setup_only=1 ;;
    --keep) keep=1 ;;
    -*) sed -n '2,14p' "$0" >&2; exit 2 ;;
    *) root=$arg ;;
  esac
done
[ "$(id -u)" -eq 0 ] || { echo "fresh-debian-check: needs root (debootstrap, chroot, mounts)" >&2; exit 2; }
command -v debootstrap > /dev/null || { echo "fresh-debian-check: needs debootstrap (apt-get install debootstrap)" >&2; exit 2; }
[ -n "$root" ] || root=$(mktemp -u /var/tmp/quillmate-fresh.XXXXXX)
[ ! -e "$root" ] || { echo "fresh-debian-check: $root exists already" >&2; exit 2; }

cleanup() {
  if [ $keep -eq 0 ]; then rm -rf --one-file-system "$root"; else echo "root kept: $root"; fi
}
trap cleanup EXIT

echo "== debootstrap bookworm (minbase) into $root =="
debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian > "$root.debootstrap.log" 2>&1 ||
  { tail -20 "$root.debootstrap.log" >&2; exit 1; }
rm -f "$root.debootstrap.log"
cp /etc/resolv.conf "$root/etc/resolv.conf"
git clone -q --no-local . "$root/root/quillmate"

steps='cd /root/quillmate
export HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
start=$(date +%s)
bash scripts/setup.sh > /root/setup.log 2>&1 || { tail -40 /root/setup.log; echo "FAILED: bash scripts/setup.sh"; exit 1; }
echo "bash scripts/setup.sh: passed in $(( $(date +%s) - start )) s"
[ "$1" = 1 ] && exit 0
start=$(date +%s)
bash scripts/test.sh > /root/test.log 2>&1 || { tail -60 /root/test.log; echo "FAILED: bash scripts/test.sh"; exit 1; }
echo "bash scripts/test.sh: passed in $(( $(date +%s) - start )) s"'

# A private mount namespace: the root's /proc, /sys, /dev and /run are gone when it ends.
unshare --mount --propagation private bash -c '
  set -e
  root=$1
  mount -t proc proc "$root/proc"
  mount -t sysfs sysfs "$root/sys"
  mount --rbind /dev "$root/dev"
  mount -t tmpfs tmpfs "$root/run"
  mount -t tmpfs tmpfs "$root/dev/shm"
  chroot "$root" /bin/bash -c "$2" steps "$3"
' check "$root" "$steps" "$setup_only"
