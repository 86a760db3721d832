#!/usr/bin/env bash
# Runs the rollback test's full-disk case on a 1 MiB drive: a tmpfs mounted
# under the build folder and mapped into the test prefix as drive R:.
# Needs root (mount); without it the test is skipped (exit 77).
# Usage: rollback-disk-full.sh TEST_EXE
set -u
exe=$1
here=$(cd "$(dirname "$0")/.." && pwd)
prefix=${MORVANDITE_WINEPREFIX:?}
disk=$(dirname "$exe")/../small-drive
mkdir -p "$disk"
if ! mount -t tmpfs -o size=1m tmpfs "$disk" 2>/dev/null; then
    echo "cannot mount a tmpfs (not root?): skipped" >&2
    exit 77
fi
cleanup() {
    rm -f "$prefix/dosdevices/r:"
    umount "$disk"
}
trap cleanup EXIT
WINEPREFIX=$prefix "$here/wine-prefix.sh" || exit 1
mkdir -p "$prefix/dosdevices"
ln -sfn "$(cd "$disk" && pwd)" "$prefix/dosdevices/r:"
out=$(MORVANDITE_SMALL_DRIVE=R: "$here/wine-run.sh" "$exe" \
    --gtest_filter=Rollback.AFullDiskIsUndoneFileByFile 2>&1)
status=$?
printf '%s\n' "$out" | grep -v "Read access denied"
# The case must have run, not been skipped or left out.
if [ "$status" = 0 ] && ! printf '%s\n' "$out" | grep -q '^\[       OK \] Rollback.AFullDiskIsUndoneFileByFile'; then
    echo "rollback-disk-full: the full-disk case did not run" >&2
    status=1
fi
exit "$status"
