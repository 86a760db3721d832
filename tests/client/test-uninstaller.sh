#!/usr/bin/env bash
# Tests the installed client programs under Wine: lays out fake installations
# in a scratch prefix and checks that MorvanditeUninstall.exe removes exactly
# what the installation recorded, keeps user.ini and everything else, refuses
# while the client runs and refuses unusable recorded values without touching
# anything. Also starts the client and Network Status and takes screenshots.
#
#   tests/client/test-uninstaller.sh [PAYLOAD_DIR]
#
# PAYLOAD_DIR defaults to /tmp/payload-build/payload (the standalone build).
# Environment: WINEPREFIX (default /tmp/payload-wine, created when missing),
# WINEARCH (win32, the default, or win64 for a 64-bit Windows), SHOTS (where
# screenshots go, default /tmp/payload-shots).
set -u

here=$(cd "$(dirname "$0")" && pwd)
payload=$(cd "${1:-/tmp/payload-build/payload}" 2>/dev/null && pwd) || {
    echo "test-uninstaller: no payload folder ${1:-/tmp/payload-build/payload}; build payload_tree first" >&2
    exit 2
}
for f in MorvanditeUninstall.exe Morvandite.exe Tracer.exe MorvanditeUpdate.exe uninstall.lst; do
    [ -f "$payload/$f" ] || { echo "test-uninstaller: $payload/$f is missing" >&2; exit 2; }
done

# Everything below shares one X display, so the client's window is visible
# to the uninstaller and can be photographed.
if [ -z "${PAYLOAD_TEST_INNER:-}" ]; then
    export PAYLOAD_TEST_INNER=1
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$payload"
fi

export WINEPREFIX=${WINEPREFIX:-/tmp/payload-wine}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" WINEARCH=${WINEARCH:-win32}
shots=${SHOTS:-/tmp/payload-shots}
mkdir -p "$shots"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX (about half a minute)"
    wineboot --init >/dev/null 2>&1
    wineserver -w
fi

passed=0
failed=0
check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $what"
    fi
}
exists() { [ -e "$1" ]; }
absent() { [ ! -e "$1" ]; }
winvar() { wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r'; }
unixpath() { winepath -u "$1" 2>/dev/null | tr -d '\r'; }
# A key as the programs see it on a 64-bit Windows: the uninstall entry in
# the 32-bit view, user keys as they are (the 64-bit view: under Wine a
# Wow6432Node key in HKCU redirects a 32-bit program's default view).
reg_view() {
    [ "$WINEARCH" = win64 ] || return 0
    case $1 in HKLM*) echo /reg:32 ;; HKCU* | HKU*) echo /reg:64 ;; esac
}
has_key() { wine reg query "$1" $(reg_view "$1") >/dev/null 2>&1; }
no_key() { ! wine reg query "$1" $(reg_view "$1") >/dev/null 2>&1; }
delete_key() { wine reg delete "$1" /f $(reg_view "$1") >/dev/null 2>&1; }
equals() { [ "$1" = "$2" ]; }

c=$WINEPREFIX/drive_c
temp_win=$(winvar TEMP)
temp=$(unixpath "$temp_win")
profile=$(unixpath "$(winvar USERPROFILE)")
localappdata=$(unixpath "$(winvar LOCALAPPDATA)")
[ -d "$temp" ] && [ -d "$profile" ] || { echo "test-uninstaller: cannot find the prefix's folders" >&2; exit 2; }

# Where the installer puts it: below Program Files as a 32-bit program is
# told (Program Files (x86) on a 64-bit Windows).
program_files_win=$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion' /v ProgramFilesDir /reg:32 \
    2>/dev/null | tr -d '\r' | sed -n 's/^ *ProgramFilesDir *REG_SZ *//p')
program_files=$(unixpath "$program_files_win")
program_files=${program_files%/}
[ -d "$program_files" ] || { echo "test-uninstaller: cannot find the prefix's Program Files" >&2; exit 2; }
inst="$program_files/Morvandite"
inst_win="$program_files_win\Morvandite"
group="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Morvandite"
group_win='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Morvandite'
desktop_link="$c/users/Public/Desktop/Morvandite.lnk"
desktop_link_win='C:\users\Public\Desktop\Morvandite.lnk'
ql="$profile/AppData/Roaming/Microsoft/Internet Explorer/Quick Launch"
ql_link="$ql/Morvandite.lnk"
ql_link_win=$(winvar APPDATA)'\Microsoft\Internet Explorer\Quick Launch\Morvandite.lnk'
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvandite'
user_entry='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvandite'
guid='{D87C7BDB-FC51-4D7D-B65F-AC534187E603}'
other_guid='{0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9}'
button='HKCU\Software\Microsoft\Internet Explorer\Extensions\'$guid
button_wow='HKCU\Software\Wow6432Node\Microsoft\Internet Explorer\Extensions\'$guid
other_button='HKCU\Software\Microsoft\Internet Explorer\Extensions\'$other_guid
machine_button='HKLM\Software\Microsoft\Internet Explorer\Extensions\'$guid
machine_button_wow='HKLM\Software\Wow6432Node\Microsoft\Internet Explorer\Extensions\'$guid
other_entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\OtherCardGame'
# Other users' hives, as an administrator who removes the installation sees
# them while those users are logged on: the one it was installed for (its
# button goes), one whose button key another program has taken over (kept),
# one with a Button1 that is no GUID (ignored, no reason to stop).
desktop_sid='S-1-5-21-1111-2222-3333-1013'
taken_sid='S-1-5-21-1111-2222-3333-1014'
garbled_sid='S-1-5-21-1111-2222-3333-1015'
hive_entry() { echo "HKU\\$1\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Morvandite"; }
hive_button() { echo "HKU\\$1\\Software\\Microsoft\\Internet Explorer\\Extensions\\$guid"; }

# Keys the layouts make above their own, removed at the end when the prefix
# did not have them: the registry is left as it was found.
made_parents=()
for key in 'HKCU\Software\Microsoft\Internet Explorer\Extensions' \
    'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall' 'HKCU\Software\Wow6432Node' \
    'HKLM\Software\Microsoft\Internet Explorer\Extensions' \
    'HKLM\Software\Wow6432Node\Microsoft\Internet Explorer\Extensions' \
    'HKLM\Software\Wow6432Node\Microsoft\Internet Explorer' 'HKLM\Software\Wow6432Node\Microsoft'; do
    no_key "$key" && made_parents+=("$key")
done

regesc() { printf '%s' "$1" | sed 's/\\/\\\\/g; s/"/\\"/g'; }

# The registry as the installer leaves it, plus unrelated keys that must stay.
# The button is under today's root and under the Wow6432Node spelling of
# earlier installers (the key they made in HKCU), both to be removed.
# $1: InstallLocation, $2: CSMPGroup, $3: Button1 and Button2.
write_registry() {
    local launcher="$inst_win\\MorvanditeUpdate.exe"
    {
        echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvandite]'
        echo '"DisplayName"="Morvandite"'
        echo "\"DisplayIcon\"=\"$(regesc "\"$inst_win\\MorvanditeUninstall.exe\"")\""
        echo "\"UninstallString\"=\"$(regesc "\"$inst_win\\MorvanditeUninstall.exe\" /u:Morvandite")\""
        echo "\"QuietUninstallString\"=\"$(regesc "\"$inst_win\\MorvanditeUninstall.exe\" /u:Morvandite /quiet")\""
        echo '"Publisher"="Morvandite"'
        echo '"InstallDate"="20261208"'
        echo '"DisplayVersion"="1.0.0.0"'
        echo '"URLInfoAbout"="https://www.example.org"'
        echo '"HelpLink"="https://www.example.org"'
        echo '"NoModify"=dword:00000001'
        echo '"NoRepair"=dword:00000001'
        echo '"Language"=dword:00000011'
        echo '"EstimatedSize"=dword:00000400'
        echo "\"CSMPGroup\"=\"$(regesc "$2")\""
        echo "\"InstallLocation\"=\"$(regesc "$1")\""
        echo "\"DTLink\"=\"$(regesc "$desktop_link_win")\""
        echo "\"QLLink\"=\"$(regesc "$ql_link_win")\""
        echo "\"Button2\"=\"$(regesc "$3")\""
        echo
        echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\OtherCardGame]'
        echo '"DisplayName"="Other card game"'
        # As an earlier installer wrote it, Wow6432Node spelt in the 32-bit view.
        for base in 'Software\Microsoft' 'Software\Wow6432Node\Microsoft'; do
            echo
            echo "[HKEY_LOCAL_MACHINE\\$base\\Internet Explorer\\Extensions\\$guid]"
            echo '"ButtonText"="Morvandite"'
            echo "\"Exec\"=\"$(regesc "$launcher")\""
        done
    } | import_registry HKLM
    {
        echo '[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvandite]'
        echo "\"Button1\"=\"$(regesc "$3")\""
        for base in 'Software\Microsoft' 'Software\Wow6432Node\Microsoft'; do
            echo
            echo "[HKEY_CURRENT_USER\\$base\\Internet Explorer\\Extensions\\$guid]"
            echo '"ButtonText"="Morvandite"'
            echo '"Default Visible"="Yes"'
            echo '"CLSID"="{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}"'
            echo "\"Exec\"=\"$(regesc "$launcher")\""
        done
        echo
        echo "[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Extensions\\$other_guid]"
        echo '"ButtonText"="Something else"'
    } | import_registry HKCU
    # Wine's reg import leaves HKEY_USERS out; reg add reaches it.
    local sid button_id exec
    for sid in "$desktop_sid" "$taken_sid" "$garbled_sid"; do
        button_id=$3 exec="$inst_win\\MorvanditeUpdate.exe"
        [ "$sid" = "$garbled_sid" ] && button_id='not a guid'
        [ "$sid" = "$taken_sid" ] && exec='C:\Other\other.exe'
        add_value "$(hive_entry "$sid")" Button1 "$button_id"
        add_value "$(hive_button "$sid")" ButtonText Morvandite
        add_value "$(hive_button "$sid")" Exec "$exec"
    done
}

add_value() {  # add_value KEY NAME DATA
    wine reg add "$1" /v "$2" /d "$3" /f $(reg_view "$1") >/dev/null 2>&1 ||
        { echo "test-uninstaller: reg add $1 failed" >&2; exit 2; }
}

# Imports the keys on standard input, all of one hive, in that hive's view.
import_registry() {
    local reg=$temp/payload-test.reg
    { echo 'REGEDIT4'; echo; cat; } | sed 's/$/\r/' >"$reg"
    wine reg import "$(winepath -w "$reg" 2>/dev/null | tr -d '\r')" $(reg_view "$1") >/dev/null 2>&1 ||
        { echo "test-uninstaller: reg import failed" >&2; exit 2; }
    rm -f "$reg"
}

clear_layout() {
    rm -rf "$inst" "$group" "$program_files/Other" "$desktop_link" "$ql_link" \
        "$localappdata/Morvandite"
    for key in "$entry" "$user_entry" "$button" "$button_wow" "$other_button" "$other_entry" \
        "$machine_button" "$machine_button_wow"; do
        delete_key "$key"
    done
    for sid in "$desktop_sid" "$taken_sid" "$garbled_sid"; do delete_key "HKU\\$sid"; done
}

# A complete installation as the installer leaves it, with the user's own
# files beside it.
lay_out() {
    clear_layout
    mkdir -p "$inst" "$group" "$(dirname "$desktop_link")" "$ql" "$program_files/Other" \
        "$localappdata/Morvandite"
    cp -r "$payload/." "$inst/"
    printf '[2024/05/01 10:00:00]\r\nInstall finished\r\n' >"$inst/Install.log"
    printf 'scrambled' >"$inst/tinfo.dat"
    printf '[Options]\r\nLocale=3\r\n' >"$inst/user.ini"
    printf '[Options]\r\nLocale=4\r\n' >"$inst/user.ini.bak"
    printf '[Options]\r\nLocale=17\r\nSingleClick=1\r\n' >"$localappdata/Morvandite/user.ini"
    printf 'my notes\r\n' >"$inst/my notes.txt"           # the user's file beside the payload
    printf 'mine\r\n' >"$inst/Themes/my-theme.ini"          # the user's file in a payload folder
    printf 'other\r\n' >"$program_files/Other/keep.txt"   # another program
    for link in "$inst/Uninstall Morvandite.lnk" "$group/Morvandite.lnk" \
        "$group/Network Status.lnk" "$group/Uninstall Morvandite.lnk" "$desktop_link" "$ql_link"; do
        printf 'L\0\0\0' >"$link"
    done
    write_registry "$inst_win" "$group_win" "$guid"
}

run_uninstaller() {  # run_uninstaller EXE ARGS... ; sets rc
    wine "$@" >/dev/null 2>&1
    rc=$?
}

copy_to_temp() {
    cp "$inst/MorvanditeUninstall.exe" "$temp/_unps.exe"
    uninstaller="$temp_win\\_unps.exe"
}

show_log() { echo "--- uninstaller log:"; tr -d '\r' <"$temp/MorvanditeUninstall.log" 2>/dev/null | sed 's/^/    /'; }

# ---------------------------------------------------------------------------
echo "1. Removal by a copy in the temporary folder"
lay_out
copy_to_temp
run_uninstaller "$uninstaller" /u:Morvandite /quiet
check "exit code 0 (got $rc)" equals "$rc" 0
while IFS= read -r rel; do
    rel=${rel%$'\r'}
    [ -n "$rel" ] && check "payload file $rel removed" absent "$inst/${rel//\\//}"
done <"$payload/uninstall.lst"
check "Install.log removed" absent "$inst/Install.log"
check "tinfo.dat removed" absent "$inst/tinfo.dat"
check "install folder uninstall shortcut removed" absent "$inst/Uninstall Morvandite.lnk"
check "Data folder removed" absent "$inst/Data"
check "desktop shortcut removed" absent "$desktop_link"
check "quick-launch shortcut removed" absent "$ql_link"
check "program group removed" absent "$group"
check "Programs folder kept" exists "$(dirname "$group")"
check "Quick Launch folder kept" exists "$ql"
check "user.ini kept" exists "$inst/user.ini"
check "user.ini.bak kept" exists "$inst/user.ini.bak"
check "per-user user.ini kept" exists "$localappdata/Morvandite/user.ini"
check "user's file beside the payload kept" exists "$inst/my notes.txt"
check "user's file in a payload folder kept" exists "$inst/Themes/my-theme.ini"
check "another program's file kept" exists "$program_files/Other/keep.txt"
check "uninstall entry removed" no_key "$entry"
check "HKCU entry with Button1 removed" no_key "$user_entry"
check "browser button removed" no_key "$button"
check "browser button (Wow6432Node) removed" no_key "$button_wow"
check "machine's browser button removed" no_key "$machine_button"
check "machine's browser button (Wow6432Node) removed" no_key "$machine_button_wow"
if [ "$WINEARCH" = win64 ]; then
    # Where Wine put it: the node doubled (a 32-bit program that spells it).
    check "machine's browser button (Wow6432Node doubled) removed" \
        sh -c '! wine reg query "$1" /reg:64 >/dev/null 2>&1' _ \
        'HKLM\Software\Wow6432Node\Wow6432Node\Microsoft\Internet Explorer\Extensions\'$guid
fi
check "the keys above the old button left empty removed" \
    no_key 'HKCU\Software\Wow6432Node\Microsoft\Internet Explorer'
# Under 64-bit Wine that key makes every 32-bit program copy Wine's own
# settings into it (fonts and the like), which are not the uninstaller's.
if [ "$WINEARCH" != win64 ]; then
    check "HKCU's Wow6432Node key the old button left removed" no_key 'HKCU\Software\Wow6432Node'
fi
check "another browser button kept" has_key "$other_button"
check "the desktop user's button in that user's hive removed" no_key "$(hive_button "$desktop_sid")"
check "the desktop user's Button1 entry removed" no_key "$(hive_entry "$desktop_sid")"
ie_key="HKU\\$desktop_sid\\Software\\Microsoft\\Internet Explorer"
check "that hive's emptied Extensions key removed" no_key "$ie_key\\Extensions"
check "that hive's Internet Explorer key kept" has_key "$ie_key"
check "a button another program took over kept in its user's hive" has_key "$(hive_button "$taken_sid")"
check "a Button1 that is no GUID left alone" has_key "$(hive_entry "$garbled_sid")"
check "the log names the desktop user's button" \
    grep -q "Browser button recorded for the user $desktop_sid" "$temp/MorvanditeUninstall.log"
check "the log names the hive whose Button1 is ignored" \
    grep -q "Ignored in the hive of $garbled_sid" "$temp/MorvanditeUninstall.log"
check "another uninstall entry kept" has_key "$other_entry"
cp "$temp/MorvanditeUninstall.log" "$shots/uninstall-from-temp.log"
[ "$failed" = 0 ] || show_log

echo "2. Removal of everything when the user left nothing behind"
lay_out
rm -f "$inst/user.ini" "$inst/user.ini.bak" "$inst/my notes.txt" "$inst/Themes/my-theme.ini"
copy_to_temp
run_uninstaller "$uninstaller" /u:Morvandite /s
check "exit code 0 (got $rc)" equals "$rc" 0
check "install folder removed" absent "$inst"
check "Program Files kept" exists "$program_files"

echo "2b. Started like the installer starts it: path with spaces, not quoted"
lay_out
spawn="$temp/payload-spawn.exe"
# The helper owns its handles with punique.h, from plib.
i686-w64-mingw32-g++-posix -std=c++17 -O2 -municode -static -I "$here/../../plib" -I "$here/../../plib/sys" \
    -o "$spawn" "$here/spawn.cpp" ||
    { echo "test-uninstaller: cannot build the spawn helper" >&2; exit 2; }
mkdir -p "$temp/Space Dir"
cp "$inst/MorvanditeUninstall.exe" "$temp/Space Dir/_unps.exe"
spaced="$temp_win\\Space Dir\\_unps.exe"
run_uninstaller "$temp_win\\payload-spawn.exe" "$spaced" "$spaced /u:Morvandite /quiet"
check "exit code 0 (got $rc)" equals "$rc" 0
check "client removed" absent "$inst/Morvandite.exe"
check "uninstall entry removed" no_key "$entry"
rm -rf "$temp/Space Dir" "$spawn"
[ "$failed" = 0 ] || show_log

echo "3. Refusal while the client runs"
lay_out
# The launcher starts the client from its folder, as the installer does.
wine "$inst/MorvanditeUpdate.exe" >/dev/null 2>&1
check "launcher exit code 0" equals "$?" 0
for _ in $(seq 1 40); do
    xwininfo -root -tree 2>/dev/null | grep -q '"Morvandite"' && break
    sleep 0.5
done
check "client window shown" sh -c 'xwininfo -root -tree 2>/dev/null | grep -q "\"Morvandite\""'
sleep 1
import -window root "$shots/client.png" 2>/dev/null
client_pid=$(pgrep -f 'Morvandite.Morvandite\.exe' | head -1)
# A second start brings the first to the front and ends at once.
timeout 30 wine "$inst/Morvandite.exe" >/dev/null 2>&1
check "second client start exits with 0 (got $?)" equals "$?" 0
copy_to_temp
run_uninstaller "$uninstaller" /u:Morvandite /quiet
check "exit code 2 while the client runs (got $rc)" equals "$rc" 2
check "payload untouched while the client runs" exists "$inst/Morvandite.exe"
check "entry untouched while the client runs" has_key "$entry"
if [ -n "$client_pid" ]; then
    kill "$client_pid" 2>/dev/null
    for _ in $(seq 1 20); do kill -0 "$client_pid" 2>/dev/null || break; sleep 0.5; done
else
    check "client process found" false
fi
run_uninstaller "$uninstaller" /u:Morvandite /quiet
check "exit code 0 after the client ended (got $rc)" equals "$rc" 0
check "client removed after it ended" absent "$inst/Morvandite.exe"

echo "4. Running from the install folder itself"
lay_out
run_uninstaller "$inst_win\\MorvanditeUninstall.exe" /u:Morvandite /quiet
check "exit code 0 (got $rc)" equals "$rc" 0
check "client removed" absent "$inst/Morvandite.exe"
check "uninstall entry removed" no_key "$entry"
check "running uninstaller moved out of the install folder" absent "$inst/MorvanditeUninstall.exe"
check "nothing of it left under another name" sh -c '! ls "$1" | grep -q "^MorvanditeUninstall"' _ "$inst"
check "log says where it went" grep -q "Running from the install folder: moved" \
    "$temp/MorvanditeUninstall.log"
check "user.ini kept" exists "$inst/user.ini"
cp "$temp/MorvanditeUninstall.log" "$shots/uninstall-in-place.log"
[ "$failed" = 0 ] || show_log

echo "4b. A file in use: the entry stays and a second run finishes"
lay_out
chmod a-w "$inst/License.txt"   # read-only to Windows
wine "$inst/Tracer.exe" >/dev/null 2>&1 &
tracer_job=$!
for _ in $(seq 1 40); do
    xwininfo -root -tree 2>/dev/null | grep -q '"Network Status"' && break
    sleep 0.5
done
copy_to_temp
run_uninstaller "$uninstaller" /u:Morvandite /quiet
check "exit code 4 while Tracer.exe is in use (got $rc)" equals "$rc" 4
check "Tracer.exe in use stays" exists "$inst/Tracer.exe"
check "read-only file removed" absent "$inst/License.txt"
check "entry kept for a second run" has_key "$entry"
check "file list kept for a second run" exists "$inst/uninstall.lst"
check "failure logged" grep -q "^Could not remove .*Tracer.exe" "$temp/MorvanditeUninstall.log"
tracer_pid=$(pgrep -f 'Morvandite.Tracer\.exe' | head -1)
[ -n "$tracer_pid" ] && kill "$tracer_pid" 2>/dev/null
wait "$tracer_job" 2>/dev/null
run_uninstaller "$uninstaller" /u:Morvandite /quiet
check "second run: exit code 0 (got $rc)" equals "$rc" 0
check "second run: Tracer.exe removed" absent "$inst/Tracer.exe"
check "second run: entry removed" no_key "$entry"
check "second run: file list removed" absent "$inst/uninstall.lst"
[ "$failed" = 0 ] || show_log

echo "5. Unusable recorded values: refused, nothing removed"
refused() {  # refused DESCRIPTION ; after the caller broke the layout
    copy_to_temp
    run_uninstaller "$uninstaller" /u:Morvandite /quiet
    check "$1: exit code 1 (got $rc)" equals "$rc" 1
    check "$1: payload untouched" exists "$inst/Morvandite.exe"
    check "$1: shortcuts untouched" exists "$desktop_link"
    check "$1: entry untouched" has_key "$entry"
    check "$1: reason logged" grep -q "^Error: " "$temp/MorvanditeUninstall.log"
    tr -d '\r' <"$temp/MorvanditeUninstall.log" | sed -n 's/^Error: /    refused: /p'
}
lay_out
write_registry 'C:\' "$group_win" "$guid"
refused "install folder is a drive root"
lay_out
write_registry "$program_files_win" "$group_win" "$guid"
refused "install folder is Program Files"
lay_out
write_registry 'C:\windows' "$group_win" "$guid"
refused "install folder is the Windows folder"
lay_out
write_registry 'Program Files\Morvandite' "$group_win" "$guid"
refused "install folder is relative"
lay_out
write_registry "$inst_win" 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs' "$guid"
refused "program group is the Programs folder"
lay_out
write_registry "$inst_win" "$group_win" 'Morvandite'
refused "browser button is not a GUID"
lay_out
printf 'Morvandite.exe\r\n..\\Other\\keep.txt\r\n' >>"$inst/uninstall.lst"
refused "file list names a file outside the folder"
lay_out
printf 'C:\\windows\\win.ini\r\n' >>"$inst/uninstall.lst"
refused "file list names a drive"
lay_out
printf '\\windows\\win.ini\r\n' >>"$inst/uninstall.lst"
refused "file list names a rooted path"
lay_out
rm -f "$inst/uninstall.lst"
refused "file list missing"
lay_out
wine reg add "$entry" /v DTLink /d 'C:\windows\win.ini' /f $(reg_view "$entry") >/dev/null 2>&1
refused "recorded shortcut is not a .lnk file"
lay_out
copy_to_temp
run_uninstaller "$uninstaller" /u:NoSuchProduct /quiet
check "unknown installation: exit code 1 (got $rc)" equals "$rc" 1
run_uninstaller "$uninstaller" /quiet
check "no /u: exit code 1 (got $rc)" equals "$rc" 1
run_uninstaller "$uninstaller" '/u:..\Morvandite' /quiet
check "key with a backslash: exit code 1 (got $rc)" equals "$rc" 1
# The installer passes a name with spaces unquoted after /u:.
run_uninstaller "$uninstaller" /u:Morvandite Beta /quiet
check "unquoted name with a space: exit code 1 (got $rc)" equals "$rc" 1
check "unquoted name with a space read whole" \
    grep -q 'No installation named "Morvandite Beta"' "$temp/MorvanditeUninstall.log"
check "nothing removed by the refused runs" exists "$inst/Morvandite.exe"

echo "6. Network Status window"
wine "$inst/Tracer.exe" >/dev/null 2>&1 &
for _ in $(seq 1 40); do
    xwininfo -root -tree 2>/dev/null | grep -q '"Network Status"' && break
    sleep 0.5
done
check "Network Status window shown" sh -c 'xwininfo -root -tree 2>/dev/null | grep -q "\"Network Status\""'
sleep 4
import -window root "$shots/tracer.png" 2>/dev/null
tracer_pid=$(pgrep -f 'Morvandite.Tracer\.exe' | head -1)
[ -n "$tracer_pid" ] && kill "$tracer_pid" 2>/dev/null
wait

clear_layout
for key in "${made_parents[@]}"; do delete_key "$key"; done
wineserver -w
echo "Screenshots and uninstaller logs: $shots"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
