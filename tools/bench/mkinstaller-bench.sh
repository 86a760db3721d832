#!/usr/bin/env bash
# Packing the synthetic client (payload-bench.sh's, 5647 files, 247899441
# bytes) and the same client twice over (two copies side by side, 495798882
# bytes) with:
#   mkinstaller  the installer, as a release makes it (the Windows build's stub)
#   makensis     NSIS 3 with SetCompressor /SOLID lzma and an 8 MiB dictionary,
#                the same files in one File /r
#   xz -T1       the files as one tar stream, packed by xz on one thread into
#                its LZMA1 format with mkinstaller's settings (preset 6, 8 MiB
#                dictionary): the encoder alone, without any installer around it
# For each: the time, the processor time (user + system: above the time when
# more than one core works), the peak resident memory (/usr/bin/time's
# maximum resident set) and the output's size. Each packer runs ROUNDS times
# per client, in turn; the table gives the median time and the largest memory.
#
# usage: tools/bench/mkinstaller-bench.sh [ROUNDS]   (default 3; about 25 minutes
#        on 2 cores; needs tools/build.sh first and NSIS, tools/setup-machine.sh)
# Not a test: the figures depend on the machine and its load.
# Environment: PAYLOAD_BENCH_DIR (default build/bench: the synthetic client,
# shared with the other benchmarks).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
native=${MORVANDITE_BIN:-$top/build/native/bin}
work=${PAYLOAD_BENCH_DIR:-$top/build/bench}
rounds=${1:-3}
stub=$top/build/windows/bin/MorvanditeInstallStub.exe
for tool in "$native/mkinstaller" "$native/payload-bench" "$stub" makensis xz tar /usr/bin/time; do
    command -v "$tool" >/dev/null || [ -f "$tool" ] ||
        { echo "mkinstaller-bench: $tool is missing (tools/setup-machine.sh, tools/build.sh)" >&2; exit 1; }
done
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
"$top/tools/bench/synthetic-payload.sh" "$native" "$work" --trees-only
runs=$work/mkinstaller-bench && rm -rf "$runs" && mkdir -p "$runs"

nsi() {  # nsi CLIENT OUT: an NSIS script packing CLIENT as one solid LZMA stream
    cat <<NSI
Unicode true
SetCompressor /SOLID lzma
SetCompressorDictSize 8
OutFile "$2"
InstallDir "\$PROGRAMFILES\\Bench"
RequestExecutionLevel user
Section
  SetOutPath "\$INSTDIR"
  File /r "$1/*"
SectionEnd
NSI
}

# run NAME CLIENT: one packing; appends "NAME CLIENT seconds cpu_seconds peak_kib out_bytes".
run() {
    local name=$1 client=$2 out=$runs/$1-$(basename "$2") timing=$runs/time.txt
    sync
    case $name in
    mkinstaller)
        /usr/bin/time -f '%e %U %S %M' -o "$timing" \
            "$native/mkinstaller" --stub "$stub" --client "$client" --out "$out.exe" >/dev/null 2>&1
        out=$out.exe ;;
    makensis)
        nsi "$client" "$out.exe" > "$out.nsi"
        /usr/bin/time -f '%e %U %S %M' -o "$timing" makensis -V1 "$out.nsi" >/dev/null
        out=$out.exe ;;
    xz)
        # The tar stream is made first, so that only the encoder is measured.
        tar -C "$client" -cf "$runs/client.tar" .
        /usr/bin/time -f '%e %U %S %M' -o "$timing" \
            xz -T1 --format=lzma --lzma1=preset=6,dict=8MiB -c "$runs/client.tar" > "$out.lzma"
        rm -f "$runs/client.tar"
        out=$out.lzma ;;
    esac
    read -r seconds user system peak < "$timing"
    echo "$name $(basename "$client") $seconds $(awk "BEGIN {print $user + $system}") $peak $(stat -c %s "$out")" \
        | tee -a "$runs/results.txt"
    rm -f "$out"
}

for round in $(seq "$rounds"); do
    for client in "$work/tree" "$work/tree2x"; do
        for name in mkinstaller makensis xz; do
            run "$name" "$client"
        done
    done
done

echo
python3 - "$runs/results.txt" <<'PY'
import statistics, sys
rows = [line.split() for line in open(sys.argv[1])]
print(f"{'packer':12} {'client':7} {'median s':>9} {'median CPU s':>13} {'peak resident MiB':>18} {'output bytes':>13}")
for client in ("tree", "tree2x"):
    for name in ("mkinstaller", "makensis", "xz"):
        mine = [r for r in rows if r[0] == name and r[1] == client]
        if not mine:
            continue
        print(f"{name:12} {client:7} {statistics.median(float(r[2]) for r in mine):9.1f} "
              f"{statistics.median(float(r[3]) for r in mine):13.1f} "
              f"{max(int(r[4]) for r in mine) / 1024:18.1f} {mine[-1][5]:>13}")
PY
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
