#!/usr/bin/env bash
# Measures payload extraction against its two yardsticks on a synthetic
# payload shaped like the shipped one (5647 files in nested folders,
# 247899441 bytes, packing to about a third):
#   (a) liblzma's raw decode of the body into nothing (payload-bench decode-null)
#   (b) payload extract into a fresh folder
#   (c) the same files as a tar stream packed by xz --format=lzma with the same
#       LZMA1 settings, extracted with xz -dc | tar -x
# Prints the medians, b/a, b/c and the peak resident memory of (b).
# Targets: b/a <= 1.10, b/c <= 1.0, peak RSS of (b) <= 16 MiB.
#
# usage: tools/bench/payload-bench.sh [RUNS]   (default 5; needs tools/build.sh first)
# The synthetic tree and both archives are made once and kept in
# $PAYLOAD_BENCH_DIR (default build/bench); making them takes several minutes.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
bin=${MORVANDITE_BIN:-$top/build/native/bin}
work=${PAYLOAD_BENCH_DIR:-$top/build/bench}
runs=${1:-5}
lzma1="preset=6,dict=8MiB,lc=3,lp=0,pb=2"

for tool in "$bin/payload" "$bin/mkpayload" "$bin/payload-bench" /usr/bin/time xz tar; do
    command -v "$tool" >/dev/null || { echo "payload-bench: $tool is missing (build first; apt-get install time xz-utils)" >&2; exit 1; }
done
"$top/tools/bench/synthetic-payload.sh" "$bin" "$work"
cd "$work"

if [ ! -f tree.tar.lzma ]; then
    echo "packing it with tar and xz --format=lzma..."
    (cd tree && tar -c --sort=name --owner=0 --group=0 --numeric-owner -f - .) |
        xz --format=lzma --lzma1="$lzma1" > tree.tar.lzma.part
    mv tree.tar.lzma.part tree.tar.lzma
fi
echo "payload.bin $(stat -c %s payload.bin) bytes, tree.tar.lzma $(stat -c %s tree.tar.lzma) bytes," \
     "unpacked $(find tree -type f -printf '%s\n' | awk '{s+=$1} END {print s}') bytes in $(find tree -type f | wc -l) files"
cat payload.bin tree.tar.lzma > /dev/null   # both archives in the page cache

median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }
elapsed() { awk '/Elapsed \(wall clock\)/ {n=split($NF,p,":"); s=0; for(i=1;i<=n;i++) s=s*60+p[i]; print s}' "$1"; }
rss() { awk '/Maximum resident set size/ {print $NF}' "$1"; }

: > a.times; : > b.times; : > c.times; : > b.rss
# Every run starts with nothing left to write back (file creation waits for
# journal commits, which flush pending data first), and extracts into folders
# that never existed: recreating files just deleted makes the file system
# check each recycled inode, which is not the extractor's cost.
settle() { sync; sleep 2; }
rm -rf runs; mkdir runs
for i in $(seq 1 "$runs"); do
    settle
    /usr/bin/time -v -o a.txt "$bin/payload-bench" decode-null payload.bin
    settle
    /usr/bin/time -v -o b.txt "$bin/payload" extract payload.bin "runs/b$i" > /dev/null
    mkdir "runs/c$i"; settle
    /usr/bin/time -v -o c.txt sh -c "xz -dc tree.tar.lzma | tar -x -C runs/c$i"
    a=$(elapsed a.txt); b=$(elapsed b.txt); c=$(elapsed c.txt); m=$(rss b.txt)
    echo "$a" >> a.times; echo "$b" >> b.times; echo "$c" >> c.times; echo "$m" >> b.rss
    printf 'run %d: (a) %6.2f s  (b) %6.2f s  (c) %6.2f s  (b) peak RSS %d KiB\n' "$i" "$a" "$b" "$c" "$m"
done
diff -rq tree "runs/b$runs" > /dev/null || { echo "payload-bench: the extracted tree differs from the original" >&2; exit 1; }
rm -rf runs

a=$(median < a.times); b=$(median < b.times); c=$(median < c.times)
peak=$(sort -n b.rss | tail -1)
awk -v a="$a" -v b="$b" -v c="$c" -v m="$peak" 'BEGIN {
    printf "median: (a) %.2f s  (b) %.2f s  (c) %.2f s\n", a, b, c
    printf "b/a = %.3f (target <= 1.10) %s\n", b / a, (b / a <= 1.10 ? "met" : "MISSED")
    printf "b/c = %.3f (target <= 1.00) %s\n", b / c, (b / c <= 1.00 ? "met" : "MISSED")
    printf "peak RSS of (b) = %d KiB = %.1f MiB (target <= 16 MiB) %s\n", m, m / 1024, (m <= 16384 ? "met" : "MISSED")
}'
