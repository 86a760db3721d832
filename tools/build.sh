#!/usr/bin/env bash
# Configures and builds both trees: build/native (tools, native tests) and
# build/windows (installer, Windows tools, Wine tests). Extra arguments go to
# both CMake configurations.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$top" -B "$top/build/native" -G Ninja "$@" >/dev/null
cmake --build "$top/build/native"
cmake -S "$top" -B "$top/build/windows" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" "$@" >/dev/null
cmake --build "$top/build/windows"
