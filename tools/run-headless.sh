#!/usr/bin/env bash
# Runs the installer under Wine on a private Xvfb display and walks through a
# default installation by itself, leaving what there is to look at in
# artifacts/run/ of the installer's build tree (build/windows/artifacts/run):
#   page-ru.png, page-el.png, page-ja.png  the page in Russian, Greek, Japanese
#   page-en.png, page-en-agreed.png         the English page, before and after ticking the agreement
#   client.png                              the screen after the installation (the started client)
#   installed-tree.txt, Install.log         the install folder and the installer's log
#   summary.txt                             exit codes and the page states read back
# Exits non-zero when a page does not come up in its language, Install stays
# disabled after the agreement, or the installation does not end with 0.
# usage: tools/run-headless.sh [INSTALLER]
# Environment: MORVANDITE_RUN_PREFIX (default wineprefix-run in the build
# tree), made afresh on every run so that each run is a first installation;
# MORVANDITE_WINEARCH (win32, the default, or win64: a 64-bit Windows);
# MORVANDITE_RUN_ARTIFACTS (another folder for what the run leaves).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
installer=$(realpath "${1:-$top/build/windows/bin/MorvanditeInstall.exe}")
tree=$(cd "$(dirname "$installer")/.." && pwd)
driver=$tree/bin/installer_driver.exe
out=${MORVANDITE_RUN_ARTIFACTS:-$tree/artifacts/run}
for f in "$installer" "$driver"; do
    [ -f "$f" ] || { echo "run-headless: $f is missing; run tools/build.sh first" >&2; exit 1; }
done

export WINEPREFIX=${MORVANDITE_RUN_PREFIX:-$tree/wineprefix-run}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=${MORVANDITE_WINEARCH:-win32} MORVANDITE_WINEARCH=${MORVANDITE_WINEARCH:-win32}

# A display nobody uses.
. "$top/tools/private-display.sh"
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    stop_private_display
}
trap cleanup EXIT
start_private_display run-headless || exit 1

echo "run-headless: fresh Wine prefix $WINEPREFIX"
rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
"$top/tests/wine-prefix.sh"
rm -rf "$out" && mkdir -p "$out"
summary=$out/summary.txt
: > "$summary"

drive() { wine "$driver" "$@"; }

# Starts the installer in a language (LANG/LC_ALL value); its exit code goes to $out/NAME.exit.
start() {
    local lang=$1 name=$2; shift 2
    rm -f "$out/$name.exit"
    (set +e; LANG=$lang LC_ALL=$lang wine "$installer" "$@" >/dev/null 2>&1; echo $? > "$out/$name.exit") &
    drive wait 120 || { echo "run-headless: the installer window did not appear" >&2; exit 1; }
    sleep 1  # let the page finish painting
}

# Screenshot of the installer window alone.
shoot() {
    local file=$1 geometry
    geometry=$(drive rect)
    set -- $geometry
    import -window root -crop "${3}x${4}+${1}+${2}" +repage "$out/$file"
}

# Waits for the installer to end; its exit code as Windows saw it (-1 reads 255).
finish() {
    local name=$1
    for _ in $(seq 600); do [ -f "$out/$name.exit" ] && break; sleep 0.2; done
    echo "$name: exit code $(cat "$out/$name.exit" 2>/dev/null || echo none)" | tee -a "$summary"
}

# The page in a Cyrillic, a Greek and an East Asian language, each cancelled.
failures=0
for page in ru_RU.UTF-8:ru:6 el_GR.UTF-8:el:24 ja_JP.UTF-8:ja:16; do
    IFS=: read -r lang name index <<< "$page"
    echo "run-headless: the page in $lang"
    start "$lang" "$name"
    state=$(drive state | tr -d '\r')
    { echo "[$name]"; echo "$state"; } >> "$summary"
    if ! grep -qx "language=$index" <<< "$state"; then
        echo "run-headless: the page did not start in $name (locale $index)" | tee -a "$summary" >&2
        failures=$((failures + 1))
    fi
    shoot "page-$name.png"
    drive close
    drive answer 7
    finish "$name"
done

# A default installation in English.
echo "run-headless: default installation"
start en_US.UTF-8 install
{ echo "[en]"; drive state; } >> "$summary"
shoot page-en.png
drive agree || { echo "run-headless: Install stayed disabled after the agreement" >&2; exit 1; }
sleep 0.5
{ echo "[en, agreed]"; drive state; } >> "$summary"
shoot page-en-agreed.png
drive install
finish install
[ "$(cat "$out/install.exit" 2>/dev/null)" = 0 ] || failures=$((failures + 1))
sleep 3  # the started client opens its window
import -window root "$out/client.png"

# The installer is a 32-bit program: the folder and the entry are where the
# system puts them for one (Program Files (x86) and the registry's 32-bit
# view on a 64-bit Windows).
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvandite'
program_files=$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion' /v ProgramFilesDir /reg:32 \
    | tr -d '\r' | sed -n 's/^ *ProgramFilesDir *REG_SZ *//p')
folder=$(winepath -u "$program_files\Morvandite" 2>/dev/null | tr -d '\r')
folder=${folder%/}
if [ -d "$folder" ]; then
    {
        echo "== $folder"
        (cd "$folder" && find . -type f -printf '%10s  %p\n' | sort -k2)
        echo "== shortcuts and settings elsewhere on drive C:"
        find "$WINEPREFIX/drive_c" -ipath '*morvandite*' -type f -not -path "$folder/*" -printf '%10s  %p\n' \
            | sed "s|$WINEPREFIX/drive_c|C:|" | sort -k2
        echo "== uninstall entry"
        wine reg query "$entry" /reg:32 2>/dev/null | tr -d '\r'
    } > "$out/installed-tree.txt"
    cp "$folder/Install.log" "$out/Install.log" 2>/dev/null || true
    echo "installed files: $(find "$folder" -type f | wc -l)" | tee -a "$summary"
else
    echo "run-headless: nothing was installed in $folder" | tee -a "$summary"
    failures=$((failures + 1))
fi
grep -q "Install finished" "$out/Install.log" 2>/dev/null || failures=$((failures + 1))
if ! wine reg query "$entry" /v InstallLocation /reg:32 >/dev/null 2>&1; then
    echo "run-headless: no uninstall entry in the registry's 32-bit view" | tee -a "$summary"
    failures=$((failures + 1))
fi
echo "run-headless: screenshots, the installed tree and the log are in $out"
ls -1 "$out"
[ "$failures" = 0 ] || { echo "run-headless: $failures check(s) failed (see $summary)" >&2; exit 1; }
