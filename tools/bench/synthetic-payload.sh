#!/usr/bin/env bash
# Makes the benchmarks' synthetic client once and keeps it: a tree shaped like
# the shipped payload (5647 files in nested folders, 247899441 bytes, packing
# to about a third; payload-bench gen) in WORK/tree, and WORK/payload.bin
# packed from it by mkpayload. Making them takes several minutes.
# usage: tools/bench/synthetic-payload.sh NATIVE_BIN WORK
set -euo pipefail
bin=$1 work=$2
mkdir -p "$work"
cd "$work"
if [ ! -f tree.done ]; then
    echo "making the synthetic tree..."
    rm -rf tree && "$bin/payload-bench" gen tree && touch tree.done
fi
if [ ! -f payload.bin ]; then
    echo "packing it with mkpayload..."
    "$bin/mkpayload" tree payload.bin
fi
