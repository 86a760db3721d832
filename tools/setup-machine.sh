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
        wine wine32:i386 xvfb xauth x11-utils imagemagick libjpeg-turbo-progs
        googletest libgtest-dev libgmock-dev
        liblzma-dev libjpeg62-turbo-dev zlib1g-dev xz-utils
        fonts-noto-cjk fonts-dejavu-core
        dpkg-dev icoutils osslsigncode openssl
        clang libclang-rt-14-dev
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
# Debian's source packages into $CACHE/mingw; skipped when already there.
cross_build_libraries() {
    local prefix=$CACHE/mingw src=$CACHE/src host=i686-w64-mingw32
    local here; here=$(cd "$(dirname "$0")/.." && pwd)
    mkdir -p "$prefix" "$src"
    if [ ! -f "$prefix/lib/liblzma.a" ]; then
        (cd "$src" && rm -rf xz-* && apt-get source --download-only -q xz-utils \
            && tar xf xz-utils_*.orig.tar.xz && cd xz-*/ \
            && ./configure -q --host=$host --prefix="$prefix" CC=$host-gcc-posix \
                 --enable-static --disable-shared --disable-xz --disable-xzdec --disable-lzmadec \
                 --disable-lzmainfo --disable-lzma-links --disable-scripts --disable-doc --disable-nls \
                 --disable-threads \
            && make -s -j"$(nproc)" -C src/liblzma && make -s -C src/liblzma install)
    fi
    if [ ! -f "$prefix/lib/libjpeg.a" ]; then
        (cd "$src" && rm -rf libjpeg-turbo-* jpeg-build && apt-get source --download-only -q libjpeg-turbo \
            && tar xf libjpeg-turbo_*.orig.tar.gz && mkdir jpeg-build && cd jpeg-build \
            && cmake -G Ninja ../libjpeg-turbo-*/ -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" \
                 -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DENABLE_SHARED=OFF \
                 -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF -DWITH_JPEG7=OFF \
                 -DCMAKE_INSTALL_LIBDIR="$prefix/lib" -DCMAKE_INSTALL_INCLUDEDIR="$prefix/include" > /dev/null \
            && ninja > /dev/null && ninja install > /dev/null)
    fi
    [ -f "$prefix/lib/liblzma.a" ] && [ -f "$prefix/lib/libjpeg.a" ] \
        || { echo "setup-machine: cross-building the libraries failed" >&2; exit 1; }
}

need_root
mkdir -p "$CACHE"
install_packages
generate_locales
cross_build_libraries
echo "setup-machine: ready (cache $CACHE)"
