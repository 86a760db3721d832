#!/usr/bin/env bash
# Sets the machine up, builds both trees and runs every test (native, then
# under Wine), then builds the fuzz targets (build/fuzz, clang) and gives
# each a smoke run of a few seconds on its seed corpus. Ends with one line
# "N passed, N failed"; exits non-zero when a test failed or could not run.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup-machine.sh" || exit 1
"$top/tools/build.sh" || { echo "0 passed, 1 failed"; exit 1; }

passed=0 failed=0
run_ctest() {
    local dir=$1 log=$1/ctest-summary.log
    ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" 2>&1 | tee "$log"
    local line; line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
    if [ -z "$line" ]; then failed=$((failed + 1)); return; fi
    local total f
    f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* tests failed out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + total - f)); failed=$((failed + f))
}
run_ctest "$top/build/native"
run_ctest "$top/build/windows"
if CC=clang CXX=clang++ cmake -S "$top" -B "$top/build/fuzz" -G Ninja -DMORVANDITE_FUZZ=ON >/dev/null \
        && cmake --build "$top/build/fuzz" --target fuzzers; then
    run_ctest "$top/build/fuzz"
else
    echo "test: the fuzz targets did not build"
    failed=$((failed + 1))
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
