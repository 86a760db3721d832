#!/usr/bin/env bash
# Sets the machine up, builds everything and runs the installer under Wine:
# on your display when there is one, otherwise under Xvfb.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup-machine.sh"
"$top/tools/build.sh"

installer=$top/build/windows/bin/MorvanditeInstall.exe
if [ -f "$installer" ]; then
    export MORVANDITE_WINEPREFIX=${MORVANDITE_WINEPREFIX:-$top/build/windows/wineprefix}
    if [ -n "${DISPLAY:-}" ]; then
        exec env WINEPREFIX="$MORVANDITE_WINEPREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
            bash -c '"$0"/tests/wine-prefix.sh && wine "$1"' "$top" "$installer"
    fi
    exec "$top/tools/run-headless.sh" "$installer"
fi

# Until the installer exists: pack a sample payload and show what it holds.
sample=$top/build/native/sample-payload
rm -rf "$sample" && mkdir -p "$sample/Themes"
cp "$top/README.md" "$sample/readme.txt"
printf '[themes]\r\n' > "$sample/Themes/themes.ini"
"$top/build/native/bin/mkpayload" "$sample" "$top/build/native/sample-payload.bin"
"$top/build/native/bin/payload" list "$top/build/native/sample-payload.bin"
"$top/build/native/bin/payload" space "$top/build/native/sample-payload.bin" 4096
