#!/usr/bin/env bash
# Runs a Windows executable under Wine in the build's own prefix and passes its
# exit code through. --gui runs it on a private Xvfb display.
# Environment: MORVANDITE_WINEPREFIX (the prefix; created on first use),
# MORVANDITE_WINEARCH (win32, the default, or win64: the kind of Windows the
# prefix is; a 64-bit prefix runs the 32-bit programs as 64-bit Windows does),
# MORVANDITE_WINE_LOCALE (the Unix locale; en_US.UTF-8 by default),
# MORVANDITE_WINE_DPI (the display's DPI, set in the prefix; the prefix's own,
# 96, when unset), MORVANDITE_SCREEN (Xvfb's screen; 1280x1024x24 by default).
set -u
gui=0
if [ "${1:-}" = "--gui" ]; then gui=1; shift; fi
[ $# -ge 1 ] || { echo "usage: wine-run.sh [--gui] PROGRAM [ARGS...]" >&2; exit 2; }

here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${MORVANDITE_WINEPREFIX:-$here/../build/windows/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# As in wine-prefix.sh: no Mono or Gecko prompt, no menu entries in the user's home.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=${MORVANDITE_WINEARCH:-win32}
# A UTF-8 Unix locale, or Wine cannot create file names outside ASCII; English,
# so that the ANSI code page is 1252, unless MORVANDITE_WINE_LOCALE names
# another (tools/setup-machine.sh generates them).
if [ -n "${MORVANDITE_WINE_LOCALE:-}" ]; then
    export LANG=$MORVANDITE_WINE_LOCALE LC_ALL=$MORVANDITE_WINE_LOCALE
elif locale -a 2>/dev/null | grep -qix 'en_US.utf8'; then
    export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8
else
    export LANG=C.UTF-8 LC_ALL=C.UTF-8
fi
# Tests need no display unless they ask for one.
[ $gui = 1 ] || unset DISPLAY

"$here/wine-prefix.sh" || exit 1

if [ $gui = 1 ]; then
    exec xvfb-run -a -s "-screen 0 ${MORVANDITE_SCREEN:-1280x1024x24}" wine "$@"
fi
exec wine "$@"
