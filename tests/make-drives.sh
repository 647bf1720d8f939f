#!/usr/bin/env bash
# Small drives for the room tests, as a person would have them: tmpfs mounts
# under C:\svdrives that the tests map to drive letters of their own.
#   small  24 MB, writable
#   ro     1 MB, read-only
# Their roots are no one else's to change (mode 0755): Wine shows a
# world-writable folder as one Everyone may change, which the installation
# refuses for its programs.
# Each mount holds a file "drive" that tells the test it is really mounted.
# Needs root; without it (or without mount) nothing is made and the tests
# that need the drives skip. "make-drives.sh stop" unmounts them again.
set -uo pipefail
root="$WINEPREFIX/drive_c/svdrives"
unmount() {
  for name in small ro; do
    mountpoint -q "$root/$name" 2>/dev/null && umount "$root/$name"
  done
  return 0
}
unmount
[ "${1:-}" = stop ] && exit 0
rm -rf "$root"
mkdir -p "$root/small" "$root/ro"
if [ "$(id -u)" != 0 ]; then
  echo "make-drives: not root, no small drives (their tests skip)"
  exit 0
fi
if mount -t tmpfs -o size=24m,mode=0755 svsmall "$root/small"; then
  echo small >"$root/small/drive"
fi
if mount -t tmpfs -o size=1m,mode=0755 svro "$root/ro"; then
  echo ro >"$root/ro/drive"
  mount -o remount,ro "$root/ro" || umount "$root/ro"
fi
exit 0
