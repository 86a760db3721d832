#!/usr/bin/env bash
# Creates the Wine prefix named by WINEPREFIX once (about half a minute), under
# a lock so that parallel tests wait for one creation: 32-bit Windows, or
# 64-bit when MORVANDITE_WINEARCH (or WINEARCH) is win64. A prefix of the
# other kind is made afresh.
set -u
: "${WINEPREFIX:?}"
# No Mono or Gecko prompt, and no winemenubuilder: Wine would otherwise turn
# every shortcut a test makes into menu entries and .desktop files in the
# user's own home, outside the prefix (and start a process for each).
arch=${MORVANDITE_WINEARCH:-${WINEARCH:-win32}}
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" WINEARCH=$arch
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/.morvandite-ready" ] || [ "$(cat "$WINEPREFIX/.morvandite-ready")" != "$arch" ]; then
    rm -rf "$WINEPREFIX"
    env -u DISPLAY wineboot --init >/dev/null 2>&1
    wineserver -w
    [ -f "$WINEPREFIX/system.reg" ] || { echo "wine-prefix: could not create $WINEPREFIX" >&2; exit 1; }
    echo "$arch" > "$WINEPREFIX/.morvandite-ready"
fi
# The display DPI a prefix of its own was asked for: Wine takes it from the
# user's "LogPixels" when it starts.
if [ -n "${MORVANDITE_WINE_DPI:-}" ] && [ ! -f "$WINEPREFIX/.morvandite-dpi-$MORVANDITE_WINE_DPI" ]; then
    env -u DISPLAY wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
        /d "$MORVANDITE_WINE_DPI" /f >/dev/null 2>&1 || { echo "wine-prefix: could not set the DPI" >&2; exit 1; }
    wineserver -w
    rm -f "$WINEPREFIX"/.morvandite-dpi-*
    touch "$WINEPREFIX/.morvandite-dpi-$MORVANDITE_WINE_DPI"
fi
