#!/usr/bin/env bash
# Builds the committed tree twice from clean copies at two different paths,
# without ccache, and compares what is shipped or run on the release machine
# byte for byte: the installer, its stub, the client's programs and the
# native tools. Takes two full builds (without the tests); prints each file
# with "same" or "DIFFERENT" and exits non-zero when any differs.
#   tools/check-reproducible.sh [COMMIT]      (default HEAD)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
commit=${1:-HEAD}
work=$(mktemp -d /tmp/morvandite-repro.XXXXXX)
trap 'rm -rf "$work"' EXIT

build() {
    local dir=$1
    mkdir -p "$dir"
    git -C "$top" archive "$commit" | tar -x -C "$dir"
    CCACHE_DISABLE=1 "$dir/tools/build.sh" -DMORVANDITE_TESTS=OFF >"$dir.log" 2>&1 \
        || { tail -20 "$dir.log"; echo "check-reproducible: the build in $dir failed" >&2; exit 1; }
}
build "$work/first"
build "$work/second-at-another-path"

status=0
files=(windows/bin/MorvanditeInstall.exe windows/bin/MorvanditeInstallStub.exe
       windows/payload/Morvandite.exe windows/payload/MorvanditeUpdate.exe
       windows/payload/MorvanditeUninstall.exe windows/payload/Tracer.exe
       native/bin/mkinstaller native/bin/mkpayload native/bin/tinfo native/bin/payload)
for f in "${files[@]}"; do
    if cmp -s "$work/first/build/$f" "$work/second-at-another-path/build/$f"; then
        echo "same       $f  $(sha256sum < "$work/first/build/$f" | cut -c1-16)"
    else
        echo "DIFFERENT  $f"
        status=1
    fi
done
exit $status
