#!/usr/bin/env bash
# Sets the machine up, builds everything and runs the installer under Wine:
# on your display when there is one; otherwise under Xvfb, where
# tools/run-headless.sh walks through a default installation by itself and
# leaves screenshots, the installed tree and the log in build/windows/artifacts/run/.
# The installer runs in a Wine prefix of its own, build/windows/wineprefix-run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup-machine.sh"
"$top/tools/build.sh"

installer=$top/build/windows/bin/MorvanditeInstall.exe
if [ -z "${DISPLAY:-}" ]; then
    exec "$top/tools/run-headless.sh" "$installer"
fi
export WINEPREFIX=${MORVANDITE_RUN_PREFIX:-$top/build/windows/wineprefix-run}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" WINEARCH=win32
"$top/tests/wine-prefix.sh"
exec wine "$installer" "$@"
