#!/usr/bin/env bash
# An installation for all users and one for this user, every option on (the
# browser button too), each removed by the uninstaller it installed, leave
# the prefix's registry as they found it: the export of HKLM and HKEY_USERS
# before and after is the same, less the few values Wine itself rewrites
# (below, each with its reason). The installation is checked where a 32-bit
# program finds it: the install folder below ProgramFilesDir and the uninstall
# entry in the registry's 32-bit view (reg query /reg:32). On a 64-bit prefix
# the export is the 64-bit view, which shows every key where it really is
# (Wow6432Node included), and HKCU must have no Wow6432Node key.
#
#   tests/registry-round-trip.sh INSTALLER
#
# Environment: MORVANDITE_WINEPREFIX (made afresh), MORVANDITE_WINEARCH
# (win32 or win64), MORVANDITE_ARTIFACTS (the exports and logs of a failure).
set -u
here=$(cd "$(dirname "$0")" && pwd)
installer=$(realpath "${1:?usage: registry-round-trip.sh INSTALLER}")
export WINEPREFIX=${MORVANDITE_WINEPREFIX:?} WINEARCH=${MORVANDITE_WINEARCH:-win32}
export MORVANDITE_WINEARCH=$WINEARCH
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset DISPLAY
out=${MORVANDITE_ARTIFACTS:-$WINEPREFIX.artifacts}
rm -rf "$WINEPREFIX" "$WINEPREFIX.lock" "$out"
mkdir -p "$out"
"$here/wine-prefix.sh" || exit 1
# One Wine session for the whole run: its services, devices and desktop
# write their own keys as they start (the display's Control\Video keys, the
# device links, the service manager's start count), once per session. A
# program that reads a pipe this script holds open keeps the session up
# (and ends with the script); a first round, not compared, starts all of it
# before the first export. Its difference is kept in the artifacts
# (difference-round1-*.txt): Control\Video, the device links, Wine's
# Temporary System Parameters, the display adapter's driver date.
mkfifo "$out/session.fifo"
wine cmd /k <"$out/session.fifo" >/dev/null 2>&1 &
exec 8>"$out/session.fifo"
trap 'exec 8>&-; wineserver -k >/dev/null 2>&1; rm -f "$out/session.fifo"' EXIT

view=()
[ "$WINEARCH" = win64 ] && view=(/reg:64)
failed=0 passed=0
check() {  # check DESCRIPTION COMMAND...
    local what=$1; shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what"; fi
}
reg32() { wine reg query "$@" /reg:32 2>/dev/null | tr -d '\r'; }
value32() {  # value32 KEY NAME: a string value as a 32-bit program reads it
    reg32 "$1" /v "$2" | sed -n "s/^ *$2 *REG_SZ *//p"
}

# What is compared, with Wine's own rewrites taken out (registry-filter.awk):
# - key time stamps are not in the export at all;
# - HKLM\Hardware, volatile, made by Wine as the session starts;
# - PendingFileRenameOperations: the uninstaller, run from the install
#   folder, moves itself aside and leaves its file to the next restart, which
#   is what that value is; the restart itself is not part of the test.
export_registry() {  # export_registry NAME
    local file=$out/$1
    wine reg export HKLM 'C:\registry-hklm.reg' "${view[@]}" /y >/dev/null 2>&1 || return 1
    wine reg export HKU 'C:\registry-hku.reg' "${view[@]}" /y >/dev/null 2>&1 || return 1
    { iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/drive_c/registry-hklm.reg"
      iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/drive_c/registry-hku.reg"; } | tr -d '\r' \
        | awk -f "$here/registry-filter.awk" > "$file"
    rm -f "$WINEPREFIX/drive_c/registry-hklm.reg" "$WINEPREFIX/drive_c/registry-hku.reg"
}

program_files=$(value32 'HKLM\Software\Microsoft\Windows\CurrentVersion' ProgramFilesDir)
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvandite'
button_root='Software\Microsoft\Internet Explorer\Extensions\'
guid='{D87C7BDB-FC51-4D7D-B65F-AC534187E603}'
folder_win="$program_files\\Morvandite"
folder=$(winepath -u "$folder_win" 2>/dev/null | tr -d '\r'); folder=${folder%/}
echo "registry-round-trip: $WINEARCH prefix, install folder $folder_win"
if [ "$WINEARCH" = win64 ]; then
    check "a 32-bit program's Program Files is Program Files (x86) (got $program_files)" \
        test "$program_files" = 'C:\Program Files (x86)'
fi

round=0
for allusers in 1 1 0; do
    round=$((round + 1))
    echo "registry-round-trip: all users $allusers$([ $round = 1 ] && echo ', the session'"'"'s first round')"
    name=round$round-allusers$allusers
    export_registry before-$name.reg || { echo "FAIL: cannot export the registry"; exit 1; }
    wine "$installer" -silent -nolaunch -allusers=$allusers -browserbutton=1 -desktop=1 -quicklaunch=1 \
        -startmenu=1 "-log=C:\\install-$name.log" >/dev/null 2>&1
    rc=$?
    cp "$WINEPREFIX/drive_c/install-$name.log" "$out/" 2>/dev/null
    check "all users $allusers: installed (exit code $rc)" test "$rc" = 0
    check "all users $allusers: entry in the 32-bit view records $folder_win" \
        test "$(value32 "$entry" InstallLocation)" = "$folder_win"
    check "all users $allusers: files in the install folder" test -f "$folder/uninstall.lst"
    if [ "$allusers" = 1 ]; then
        check "all users: button in the machine's 32-bit view" \
            test -n "$(value32 "HKLM\\$button_root$guid" Exec)"
    else
        check "this user: button in the user's key" \
            test -n "$(wine reg query "HKCU\\$button_root$guid" /v Exec 2>/dev/null)"
    fi
    if [ "$WINEARCH" = win64 ]; then
        check "all users $allusers: no Wow6432Node key in HKCU" \
            sh -c '! wine reg query "HKCU\Software\Wow6432Node" /reg:64 >/dev/null 2>&1'
    fi
    uninstall=$(value32 "$entry" UninstallString)
    uninstaller=${uninstall%\" *}; uninstaller=${uninstaller#\"}
    wine "$uninstaller" /u:Morvandite /quiet >/dev/null 2>&1
    rc=$?
    cp "$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')" 2>/dev/null)/MorvanditeUninstall.log" \
        "$out/uninstall-$name.log" 2>/dev/null
    check "all users $allusers: the installed uninstaller ends with 0 (got $rc)" test "$rc" = 0
    check "all users $allusers: no entry left" sh -c "! wine reg query '$entry' /reg:32 >/dev/null 2>&1"
    export_registry after-$name.reg || { echo "FAIL: cannot export the registry"; exit 1; }
    # The first round's difference is the session's start, kept to be read.
    diff -u "$out/before-$name.reg" "$out/after-$name.reg" > "$out/difference-$name.txt"
    [ $round = 1 ] && continue
    if [ ! -s "$out/difference-$name.txt" ]; then
        passed=$((passed + 1))
        rm -f "$out/difference-$name.txt"
    else
        failed=$((failed + 1))
        echo "FAIL: all users $allusers: the registry differs after the uninstaller:"
        head -60 "$out/difference-$name.txt"
    fi
done
echo "registry-round-trip: $passed passed, $failed failed (exports in $out)"
[ "$failed" = 0 ]
