#!/usr/bin/env bash
# Prepares a Debian 12 machine (as root) for building and testing the installer.
# Idempotent: packages already present are skipped, cross-built libraries are
# cached outside the checkout (MORVANDITE_CACHE, default /var/cache/morvandite-build).
set -euo pipefail

CACHE=${MORVANDITE_CACHE:-/var/cache/morvandite-build}
STAMP_PKGS=$CACHE/.packages-v1
export DEBIAN_FRONTEND=noninteractive

need_root() { [ "$(id -u)" = 0 ] || { echo "setup-machine: run as root" >&2; exit 1; }; }

install_packages() {
    local pkgs=(
        build-essential cmake ninja-build pkg-config python3 git ca-certificates
        g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
        libz-mingw-w64-dev
        wine wine32:i386 wine64 xvfb xauth x11-utils imagemagick libjpeg-turbo-progs
        googletest libgtest-dev libgmock-dev
        liblzma-dev libjpeg62-turbo-dev zlib1g-dev xz-utils
        libboost-dev
        fonts-noto-cjk fonts-dejavu-core
        dpkg-dev icoutils osslsigncode openssl
        clang libclang-rt-14-dev
        nsis
    )
    if [ -f "$STAMP_PKGS" ] && dpkg -s "${pkgs[@]/wine32:i386/wine32}" >/dev/null 2>&1; then
        return
    fi
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    # Source entries are needed for apt-get source (liblzma and libjpeg-turbo).
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        if ! grep -q '^Types:.*deb-src' /etc/apt/sources.list.d/debian.sources; then
            sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
        fi
    elif [ -f /etc/apt/sources.list ] && ! grep -q '^deb-src' /etc/apt/sources.list; then
        grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' >> /etc/apt/sources.list
    fi
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${pkgs[@]}"
    mkdir -p "$CACHE"
    touch "$STAMP_PKGS"
}

# The UTF-8 locales the scripts and tests start Wine with. Without a UTF-8
# Unix locale Wine cannot create a file name outside ASCII, and the locale's
# language also picks Wine's ANSI code page (ru_RU: 1251, ja_JP: 932).
UTF8_LOCALES=(en_US.UTF-8 de_DE.UTF-8 ru_RU.UTF-8 el_GR.UTF-8 ja_JP.UTF-8)
generate_locales() {
    local missing=()
    for l in "${UTF8_LOCALES[@]}"; do
        locale -a 2>/dev/null | grep -qix "${l/UTF-8/utf8}" || missing+=("$l")
    done
    [ ${#missing[@]} = 0 ] && return
    dpkg -s locales >/dev/null 2>&1 || apt-get install -y -q --no-install-recommends locales
    for l in "${missing[@]}"; do
        if grep -q "^# *$l UTF-8" /etc/locale.gen; then
            sed -i "s/^# *$l UTF-8/$l UTF-8/" /etc/locale.gen
        elif ! grep -q "^$l UTF-8" /etc/locale.gen; then
            echo "$l UTF-8" >> /etc/locale.gen
        fi
    done
    locale-gen >/dev/null
}

# Cross-builds liblzma and libjpeg-turbo (API 62) as static mingw libraries from
# Debian's source packages into $CACHE/mingw. Each library is rebuilt when its
# build settings (below) differ from those its cached copy was built with, so a
# change of flags reaches every machine; otherwise skipped.
#
# Both are built for the installer's size: -Os, each function and datum in a
# section of its own (the installer links with --gc-sections), no unwind tables
# (C code: exceptions never pass through it; on i686 mingw the linker keeps
# every unwind entry, used or not), and the C runtime's own printf/scanf rather
# than mingw's (which would bring its whole formatting and float-parsing code).
# Only what the programs use is built: liblzma's raw LZMA1 coder (payloads are
# raw LZMA1 streams), libjpeg without arithmetic coding (the pictures are
# baseline or progressive Huffman-coded JPEGs) and without scaled decoding
# (the installer decodes its pictures at full size only; its decoder refuses
# any other scale, which this build would otherwise ignore).
LIB_CFLAGS="-Os -ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables -fno-unwind-tables"
JPEG_CFLAGS="$LIB_CFLAGS -D__USE_MINGW_ANSI_STDIO=0"
LZMA_OPTIONS=(--enable-static --disable-shared --disable-xz --disable-xzdec --disable-lzmadec
              --disable-lzmainfo --disable-lzma-links --disable-scripts --disable-doc --disable-nls
              --disable-threads --enable-encoders=lzma1 --enable-decoders=lzma1
              --enable-checks=crc32)
JPEG_OPTIONS=(-DCMAKE_BUILD_TYPE=MinSizeRel -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF
              -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF -DWITH_JPEG7=OFF -DWITH_ARITH_DEC=OFF
              -DWITH_ARITH_ENC=OFF -DFORCE_INLINE=OFF)
JPEG_NO_SCALING='s|^#define IDCT_SCALING_SUPPORTED|#undef  IDCT_SCALING_SUPPORTED|'

cross_build_libraries() {
    local prefix=$CACHE/mingw src=$CACHE/src host=i686-w64-mingw32
    local here; here=$(cd "$(dirname "$0")/.." && pwd)
    local lzma_key="xz-utils ${LZMA_OPTIONS[*]} CFLAGS=$LIB_CFLAGS"
    local jpeg_key="libjpeg-turbo ${JPEG_OPTIONS[*]} CFLAGS=$JPEG_CFLAGS jmorecfg.h:$JPEG_NO_SCALING"
    mkdir -p "$prefix" "$src"
    if [ ! -f "$prefix/lib/liblzma.a" ] || [ "$(cat "$prefix/.liblzma-key" 2>/dev/null)" != "$lzma_key" ]; then
        rm -f "$prefix/.liblzma-key"
        (cd "$src" && rm -rf xz-* && apt-get source --download-only -q xz-utils \
            && tar xf xz-utils_*.orig.tar.xz && cd xz-*/ \
            && ./configure -q --host=$host --prefix="$prefix" CC=$host-gcc-posix CFLAGS="$LIB_CFLAGS" \
                 "${LZMA_OPTIONS[@]}" \
            && make -s -j"$(nproc)" -C src/liblzma >/dev/null && make -s -C src/liblzma install >/dev/null) \
            && echo "$lzma_key" > "$prefix/.liblzma-key"
    fi
    if [ ! -f "$prefix/lib/libjpeg.a" ] || [ "$(cat "$prefix/.libjpeg-key" 2>/dev/null)" != "$jpeg_key" ]; then
        rm -f "$prefix/.libjpeg-key"
        (cd "$src" && rm -rf libjpeg-turbo-* jpeg-build && apt-get source --download-only -q libjpeg-turbo \
            && tar xf libjpeg-turbo_*.orig.tar.gz && sed -i "$JPEG_NO_SCALING" libjpeg-turbo-*/jmorecfg.h \
            && grep -q '^#undef  IDCT_SCALING_SUPPORTED' libjpeg-turbo-*/jmorecfg.h && mkdir jpeg-build && cd jpeg-build \
            && cmake -G Ninja ../libjpeg-turbo-*/ -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" \
                 "${JPEG_OPTIONS[@]}" -DCMAKE_C_FLAGS="$JPEG_CFLAGS" -DCMAKE_C_FLAGS_MINSIZEREL="-DNDEBUG" \
                 -DCMAKE_INSTALL_PREFIX="$prefix" \
                 -DCMAKE_INSTALL_LIBDIR="$prefix/lib" -DCMAKE_INSTALL_INCLUDEDIR="$prefix/include" > /dev/null \
            && ninja > /dev/null && ninja install > /dev/null) \
            && echo "$jpeg_key" > "$prefix/.libjpeg-key"
    fi
    [ -f "$prefix/.liblzma-key" ] && [ -f "$prefix/.libjpeg-key" ] \
        || { echo "setup-machine: cross-building the libraries failed" >&2; exit 1; }
}

need_root
mkdir -p "$CACHE"
install_packages
generate_locales
cross_build_libraries
echo "setup-machine: ready (cache $CACHE)"
