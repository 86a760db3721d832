#!/usr/bin/env bash
# Measures the installer against the payload tool under Wine, both with the
# synthetic client of payload-bench.sh (5647 files, 247899441 bytes, about
# 90 MB packed):
#   (i) MorvanditeInstall.exe -nolaunch, built around that payload, driven on
#       a private Xvfb display: the location is set, the agreement ticked and
#       Install pressed; timed from the press to the process's exit
#  (t) payload.exe extract of the same payload, timed from its start to its exit
# Both times are taken inside Wine on one clock (installer_driver), both
# programs write into fresh folders of the same Wine drive, and the order of
# the two alternates from round to round so that the machine's load falls on
# both alike. Peak memory is sampled from /proc (peak-memory.py): "private"
# is the resident anonymous memory, what Windows counts as private bytes.
# Prints per round and then min/median/max of: i/t, the peak private memory of
# both, and the start-up of the installer (start to window shown); and the
# stub: the stripped installer minus its payload resource.
# Targets: i/t <= 1.05, installer peak private <= 32 MiB, stub <= 700 KB.
# Then the installer's memory alone, whatever the client's size and however it
# runs: its peak private memory in page mode and with -silent -nolaunch, with
# the synthetic client and with the same client twice over (an installer made
# from synthetic-payload.sh's tree2x), MEMORY_ROUNDS each (default 3);
# target: at most 32 MiB in every run, and no more at twice the client.
#
# usage: tools/bench/installer-bench.sh [ROUNDS]   (default 9, about 20 minutes, and the
#        memory rounds about 10 more; ROUNDS 0: the memory rounds alone; needs
#        tools/build.sh first). A round varies by up to 10% on a shared machine:
#        fewer rounds give a median that moves by several percent.
# Not a test: the figures depend on the machine and its load.
# Environment: PAYLOAD_BENCH_DIR (default build/bench: the synthetic client,
# shared with payload-bench.sh, the Wine prefix and the runs),
# MORVANDITE_WINDOWS_BIN (default build/windows/bin: the stub, the driver and
# payload.exe).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
native=${MORVANDITE_BIN:-$top/build/native/bin}
work=${PAYLOAD_BENCH_DIR:-$top/build/bench}
rounds=${1:-9}

for tool in "$native/mkpayload" "$native/payload-bench" wine Xvfb xdpyinfo python3; do
    command -v "$tool" >/dev/null || { echo "installer-bench: $tool is missing (run tools/build.sh first)" >&2; exit 1; }
done
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
# payload.bin only for payload.exe's rounds.
"$top/tools/bench/synthetic-payload.sh" "$native" "$work" $([ "$rounds" -gt 0 ] || echo --trees-only)
payload=$work/payload.bin

# The release path: the Windows build's stub and the synthetic client through
# mkinstaller, as a release is made.
windows=${MORVANDITE_WINDOWS_BIN:-$top/build/windows/bin}
for needed in "$native/mkinstaller" "$windows/MorvanditeInstallStub.exe" "$windows/installer_driver.exe" "$windows/payload.exe"; do
    [ -f "$needed" ] || { echo "installer-bench: $needed is missing (run tools/build.sh first)" >&2; exit 1; }
done
installer=$work/MorvanditeInstall.exe
if [ ! -f "$installer" ] || [ "$installer" -ot "$windows/MorvanditeInstallStub.exe" ] || [ "$installer" -ot "$work/tree.done" ]; then
    echo "making the installer around the synthetic client..."
    "$native/mkinstaller" --stub "$windows/MorvanditeInstallStub.exe" --client "$work/tree" --out "$installer" >/dev/null
fi
driver=$windows/installer_driver.exe
tool=$windows/payload.exe
# The stub as shipped (stripped): the installer less its client.
stub=$(stat -c %s "$windows/MorvanditeInstallStub.exe")

export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" WINEARCH=win32
"$top/tests/wine-prefix.sh"
drive_c=$WINEPREFIX/drive_c

. "$top/tools/private-display.sh"
sampler=
cleanup() {
    [ -n "$sampler" ] && kill "$sampler" 2>/dev/null
    wineserver -k >/dev/null 2>&1 || true
    stop_private_display
}
trap cleanup EXIT
start_private_display installer-bench || exit 1
# One server for the whole benchmark, started before the first timing.
wineserver -p
wine "$driver" wait-gone 1 >/dev/null 2>&1 || true

runs=$drive_c/bench-runs
rm -rf "$runs" && mkdir -p "$runs"
calc() { awk "BEGIN {printf \"%.6f\", $1}"; }
# Nothing left to write back before a run (see payload-bench.sh).
settle() { sync; sleep 2; }
start_sampler() { python3 "$top/tools/bench/peak-memory.py" "$1" "$work/memory.txt" & sampler=$!; }
# Leaves "PRIVATE_KIB RESIDENT_KIB" in $work/memory.txt.
stop_sampler() { kill "$sampler"; wait "$sampler" 2>/dev/null || true; sampler=; }

run_tool() {
    local i=$1
    settle
    start_sampler payload.exe
    # The tool's own report comes first; the driver's is the last line.
    set -- $(wine "$driver" run-timed "$tool" extract "$(winepath -w "$payload")" "C:\\bench-runs\\t$i" |
             tr -d '\r' | tail -1)
    local seconds=$1 code=$2
    stop_sampler
    set -- $(cat "$work/memory.txt")
    [ "$code" = 0 ] || { echo "installer-bench: payload.exe extract ended with $code" >&2; exit 1; }
    echo "$seconds" >> "$work/t.times"; echo "$1" >> "$work/t.private"; echo "$2" >> "$work/t.resident"
    tool_line=$(printf '(t) %6.2f s, private %5.1f MiB, resident %5.1f MiB' "$seconds" "$(calc "$1/1024")" "$(calc "$2/1024")")
}

run_installer() {
    local i=$1 started shown
    settle
    start_sampler MorvanditeInstall.exe
    started=$(date +%s.%N)
    (set +e; LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 wine "$installer" -nolaunch >/dev/null 2>&1) &
    local pid=$!
    wine "$driver" wait 120 >/dev/null || { echo "installer-bench: the installer window did not appear" >&2; exit 1; }
    shown=$(date +%s.%N)
    wine "$driver" folder "C:\\bench-runs\\i$i" >/dev/null
    wine "$driver" agree >/dev/null || { echo "installer-bench: Install stayed disabled" >&2; exit 1; }
    set -- $(wine "$driver" install-timed | tr -d '\r')
    local seconds=$1 code=$2
    wait "$pid" || true
    stop_sampler
    set -- $(cat "$work/memory.txt")
    [ "$code" = 0 ] || { echo "installer-bench: the installer ended with $code" >&2; exit 1; }
    local startup
    startup=$(calc "$shown - $started")
    echo "$seconds" >> "$work/i.times"; echo "$1" >> "$work/i.private"; echo "$2" >> "$work/i.resident"
    echo "$startup" >> "$work/i.startup"
    installer_line=$(printf '(i) %6.2f s, private %5.1f MiB, resident %5.1f MiB, start-up %4.2f s' "$seconds" \
                     "$(calc "$1/1024")" "$(calc "$2/1024")" "$startup")
}

rm -f "$work"/{i,t}.{times,private,resident} "$work/i.startup" "$work/ratios"
for i in $(seq 1 "$rounds"); do
    if [ $((i % 2)) = 1 ]; then run_tool "$i"; run_installer "$i"; else run_installer "$i"; run_tool "$i"; fi
    ratio=$(calc "$(tail -1 "$work/i.times") / $(tail -1 "$work/t.times")")
    echo "$ratio" >> "$work/ratios"
    printf 'round %d: %s | %s | i/t %.3f\n' "$i" "$installer_line" "$tool_line" "$ratio"
done

if [ "$rounds" -gt 0 ]; then
# The last round's installation must hold exactly the synthetic tree (plus
# the installer's log and its uninstall shortcut); the tool's too.
extra=$(diff -rq "$work/tree" "$runs/i$rounds" |
        grep -v -e "^Only in $runs/i$rounds: Install.log$" -e "^Only in $runs/i$rounds: Uninstall Morvandite.lnk$" || true)
[ -z "$extra" ] || { echo "installer-bench: the installed tree differs:"; echo "$extra"; exit 1; } >&2
diff -rq "$work/tree" "$runs/t$rounds" >/dev/null || { echo "installer-bench: the extracted tree differs" >&2; exit 1; }
rm -rf "$runs"

stats() { sort -g "$1" | awk '{v[NR]=$1} END {m=(NR%2)?v[(NR+1)/2]:(v[NR/2]+v[NR/2+1])/2; printf "%.3f %.3f %.3f", v[1], m, v[NR]}'; }
echo "over $rounds rounds, min / median / max:"
read -r rmin rmed rmax <<< "$(stats "$work/ratios")"
printf '  i/t                      %.3f / %.3f / %.3f  (target <= 1.05: %s)\n' "$rmin" "$rmed" "$rmax" \
       "$(awk -v m="$rmed" 'BEGIN {print (m <= 1.05 ? "met" : "MISSED")}')"
read -r a b c <<< "$(stats "$work/i.times")"; printf '  installer click to exit  %.2f / %.2f / %.2f s\n' "$a" "$b" "$c"
read -r a b c <<< "$(stats "$work/t.times")"; printf '  payload.exe extract      %.2f / %.2f / %.2f s\n' "$a" "$b" "$c"
read -r a b c <<< "$(stats "$work/i.private")"
printf '  installer peak private   %.1f / %.1f / %.1f MiB  (target <= 32 MiB: %s)\n' \
       "$(calc "$a/1024")" "$(calc "$b/1024")" "$(calc "$c/1024")" \
       "$(awk -v m="$c" 'BEGIN {print (m <= 32768 ? "met" : "MISSED")}')"
read -r a b c <<< "$(stats "$work/t.private")"
printf '  payload.exe peak private %.1f / %.1f / %.1f MiB\n' "$(calc "$a/1024")" "$(calc "$b/1024")" "$(calc "$c/1024")"
read -r a b c <<< "$(stats "$work/i.resident")"
printf '  installer peak resident  %.1f / %.1f / %.1f MiB\n' "$(calc "$a/1024")" "$(calc "$b/1024")" "$(calc "$c/1024")"
read -r a b c <<< "$(stats "$work/t.resident")"
printf '  payload.exe peak resident %.1f / %.1f / %.1f MiB\n' "$(calc "$a/1024")" "$(calc "$b/1024")" "$(calc "$c/1024")"
read -r a b c <<< "$(stats "$work/i.startup")"; printf '  installer start-up       %.2f / %.2f / %.2f s (start to window shown)\n' "$a" "$b" "$c"
printf 'stub (stripped installer minus the %d-byte payload): %d bytes = %.0f KB (target <= 700 KB = 716800 bytes: %s)\n' \
       "$(stat -c %s "$payload")" "$stub" "$(calc "$stub/1024")" "$( [ "$stub" -le 716800 ] && echo met || echo MISSED)"
fi

# The installer's memory with one and two times the client, on the page and
# with -silent.
installer2x=$work/MorvanditeInstall-2x.exe
if [ ! -f "$installer2x" ] || [ "$installer2x" -ot "$windows/MorvanditeInstallStub.exe" ] || [ "$installer2x" -ot "$work/tree2x.done" ]; then
    echo "making the installer around the doubled client..."
    "$native/mkinstaller" --stub "$windows/MorvanditeInstallStub.exe" --client "$work/tree2x" --out "$installer2x" >/dev/null
fi
memory_rounds=${MEMORY_ROUNDS:-3}
rm -f "$work"/m.*
mkdir -p "$runs"
for i in $(seq 1 "$memory_rounds"); do
    for size in 1x 2x; do
        exe=$installer; [ $size = 2x ] && exe=$installer2x
        for mode in page silent; do
            rm -rf "$runs/m"
            settle
            start_sampler "$(basename "$exe")"
            if [ $mode = silent ]; then
                set -- $(wine "$driver" run-timed "$exe" -silent -nolaunch "-dir=C:\\bench-runs\\m" | tr -d '\r' | tail -1)
            else
                (set +e; LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 wine "$exe" -nolaunch >/dev/null 2>&1) &
                pid=$!
                wine "$driver" wait 120 >/dev/null || { echo "installer-bench: the installer window did not appear" >&2; exit 1; }
                wine "$driver" folder "C:\\bench-runs\\m" >/dev/null
                wine "$driver" agree >/dev/null || { echo "installer-bench: Install stayed disabled" >&2; exit 1; }
                set -- $(wine "$driver" install-timed | tr -d '\r')
                wait "$pid" || true
            fi
            seconds=$1 code=$2
            stop_sampler
            [ "$code" = 0 ] || { echo "installer-bench: the installer ($size, $mode) ended with $code" >&2; exit 1; }
            read -r private resident < "$work/memory.txt"
            echo "$private" >> "$work/m.$size.$mode"
            printf 'memory round %d: %s client, %-6s %6.2f s, private %5.1f MiB, resident %6.1f MiB\n' "$i" "$size" \
                "$mode" "$seconds" "$(calc "$private/1024")" "$(calc "$resident/1024")"
            # The installer's uninstall entry goes with its folder.
            wine reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvandite' /f >/dev/null 2>&1 || true
        done
    done
done
rm -rf "$runs"
echo "installer peak private over $memory_rounds rounds, min / median / max (target <= 32 MiB in every run):"
for size in 1x 2x; do
    for mode in page silent; do
        read -r a b c <<< "$(stats "$work/m.$size.$mode")"
        printf '  %s client, %-6s %.1f / %.1f / %.1f MiB  %s\n' "$size" "$mode" "$(calc "$a/1024")" "$(calc "$b/1024")" \
            "$(calc "$c/1024")" "$(awk -v m="$c" 'BEGIN {print (m <= 32768 ? "met" : "MISSED")}')"
    done
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
