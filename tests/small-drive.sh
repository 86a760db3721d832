#!/usr/bin/env bash
# Runs a Wine test with a small drive mapped into the test prefix: a tmpfs of
# SIZE mounted for the run and linked as drive LETTER in the prefix's
# dosdevices; the test finds the drive in MORVANDITE_SMALL_DRIVE ("K:").
# Mounting needs root: without it the run ends as skipped (exit 77), never
# as passed. The drive is unmapped and unmounted whatever happens.
# usage: small-drive.sh LETTER SIZE [--gui] PROGRAM [ARGS...]
set -u
[ $# -ge 3 ] || { echo "usage: small-drive.sh LETTER SIZE [--gui] PROGRAM [ARGS...]" >&2; exit 2; }
letter=${1,,} size=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
prefix=${MORVANDITE_WINEPREFIX:-$here/../build/windows/wineprefix}
WINEPREFIX=$prefix "$here/wine-prefix.sh" || exit 1

link="$prefix/dosdevices/$letter:"
if [ -e "$link" ] || [ -L "$link" ]; then
    echo "small-drive: drive $letter: is already mapped in $prefix" >&2
    exit 1
fi
dir=$(mktemp -d "$prefix-drive-$letter-XXXXXX")
if ! mount -t tmpfs -o "size=$size" tmpfs "$dir" 2>/dev/null; then
    rmdir "$dir"
    echo "small-drive: SKIPPED: cannot mount a $size tmpfs (mounting needs root)"
    exit 77
fi
cleanup() {
    rm -f "$link"
    umount "$dir" 2>/dev/null || umount -l "$dir"
    rmdir "$dir"
}
trap cleanup EXIT
ln -s "$dir" "$link"
MORVANDITE_SMALL_DRIVE="${letter^^}:" "$here/wine-run.sh" "$@"
