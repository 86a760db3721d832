#!/usr/bin/env bash
# Makes the benchmarks' synthetic client once and keeps it: a tree shaped like
# the shipped payload (5647 files in nested folders, 247899441 bytes, packing
# to about a third; payload-bench gen) in WORK/tree, and WORK/payload.bin
# packed from it by mkpayload, and WORK/tree2x, the same client twice over
# (WORK/tree2x/first and second, hard links: no second copy on the disk).
# Making them takes several minutes.
# usage: tools/bench/synthetic-payload.sh NATIVE_BIN WORK [--trees-only]
#        (--trees-only: the two trees, not payload.bin)
set -euo pipefail
bin=$1 work=$2 trees_only=${3:-}
mkdir -p "$work"
cd "$work"
if [ ! -f tree.done ]; then
    echo "making the synthetic tree..."
    rm -rf tree && "$bin/payload-bench" gen tree && touch tree.done
fi
if [ ! -f tree2x.done ] || [ tree2x.done -ot tree.done ]; then
    rm -rf tree2x && mkdir tree2x
    cp -al tree tree2x/first && cp -al tree tree2x/second && touch tree2x.done
fi
if [ ! -f payload.bin ] && [ "$trees_only" != --trees-only ]; then
    echo "packing it with mkpayload..."
    "$bin/mkpayload" tree payload.bin
fi
