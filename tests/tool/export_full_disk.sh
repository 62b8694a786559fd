#!/bin/sh
# export -o onto a disk that is full: the previous JSON stays byte for byte,
# no temporary file is left, and the exit code says the output could not be
# written. The disk is a tmpfs of 64 KiB in a mount namespace of the test's
# own; exits 77 (skipped) where such a namespace cannot be made.
#   export_full_disk.sh PROGRAM CONFIG
set -u
program=$1
config=$2
if [ "${RIVERRA_IN_MOUNT_NAMESPACE:-}" != 1 ]; then
  RIVERRA_IN_MOUNT_NAMESPACE=1 exec unshare -m "$0" "$@" 2>/dev/null || exit 77
fi
disk=$(mktemp -d)
trap 'umount "$disk" 2>/dev/null; rmdir "$disk"' EXIT
mount -t tmpfs -o size=64k tmpfs "$disk" || exit 77

printf '{"previous": "export"}\n' >"$disk/presets.json"
cp "$disk/presets.json" "$disk/expected.json"
# What is left of the disk is taken, so the new export cannot be written.
dd if=/dev/zero of="$disk/filler" bs=4k 2>/dev/null

said=$("$program" export "$config" -o "$disk/presets.json" 2>&1 >/dev/null)
status=$?
fail() { echo "FAILED: $1" >&2; exit 1; }
[ "$status" -eq 3 ] || fail "exit code $status, expected 3"
case $said in *presets.json*) ;; *) fail "the error names no file: $said" ;; esac
cmp -s "$disk/presets.json" "$disk/expected.json" || fail "the previous export was changed"
leftovers=$(ls "$disk" | grep -v -x -e presets.json -e expected.json -e filler)
[ -z "$leftovers" ] || fail "left behind: $leftovers"
echo "export onto a full disk: exit 3, previous file kept, nothing left behind"
