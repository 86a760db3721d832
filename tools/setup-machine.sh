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
        dpkg-dev
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

need_root
mkdir -p "$CACHE"
install_packages
