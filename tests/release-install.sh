#!/usr/bin/env bash
# A second brand's release, made by README.md's "Shipping a client release"
# exactly as written (tests/release-steps.sh, on a fresh client folder without
# uninstall.lst that starts with the sample client's programs), installed
# under Wine and removed again by the uninstaller it installed:
#   - the brand ("Larkspur Cards", its own configuration, brand strings and
#     throwaway certificate) is what the user and Windows see: the version
#     information, the manifest, the message texts, the page's title and controls, the
#     -help box's caption, the shortcuts' names, the uninstall entry; and
#     "Morvandite" is in none of them. The file names the installation's
#     design fixes (MorvanditeUninstall.exe, MorvanditeUpdate.exe: the
#     uninstall entry and the shortcuts point at them) are the one exception,
#     taken out by name before the search;
#   - -silent with every option installs every file of the client folder byte
#     for byte and the uninstall entry Windows expects;
#   - the entry's QuietUninstallString removes it all: install folder,
#     shortcuts, entry, and the registry exported (HKLM and HKEY_USERS) is the
#     same as before the installation.
# usage: release-install.sh SOURCE_DIR NATIVE_BIN WINDOWS_BIN SAMPLE_CLIENT OUT
# Environment: MORVANDITE_WINEPREFIX (made afresh). Exit codes: 0 passed,
# 1 failed, 2 usage, 77 skipped (a tool or the stub is not built).
set -uo pipefail
[ $# -eq 5 ] || { echo "usage: release-install.sh SOURCE_DIR NATIVE_BIN WINDOWS_BIN SAMPLE_CLIENT OUT" >&2; exit 2; }
source_dir=$(cd "$1" && pwd) native=$(cd "$2" && pwd) windows=$(cd "$3" && pwd) sample=$(cd "$4" && pwd) out=$5
here=$(cd "$(dirname "$0")" && pwd)
for f in "$native/mkinstaller" "$windows/MorvanditeInstallStub.exe" "$windows/installer_driver.exe" \
         "$sample/MorvanditeUninstall.exe"; do
    [ -f "$f" ] || { echo "release-install: skipped: no $f"; exit 77; }
done
rm -rf "$out" && mkdir -p "$out" && out=$(cd "$out" && pwd)

# The release, as the README makes it.
"$here/release-steps.sh" "$source_dir" "$native" "$out/steps" "$sample" > "$out/steps.txt" 2>&1
rc=$?
[ $rc = 0 ] || { cat "$out/steps.txt"; echo "release-install: README.md's steps failed ($rc)"; exit 1; }
installer=$out/steps/release-machine/LarkspurSetup-partner7.exe
client=$out/steps/home/client-4.3.2.1
brand="Larkspur Cards"

failed=0 passed=0
check() {  # check DESCRIPTION COMMAND...
    local what=$1; shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what"; fi
}
# Text without the file names the design fixes, then searched for the old name.
names_morvandite() {  # names_morvandite FILE: true when FILE still names Morvandite
    sed -e 's/MorvanditeUninstall\.exe//gI' -e 's/MorvanditeUpdate\.exe//gI' "$1" | grep -qi morvandite
}
no_morvandite() { ! names_morvandite "$1"; }

# What the installer file carries: version information, message texts (the
# table is raw LZMA1 after its two sizes and five property bytes),
# configuration section.
"$native/mkinstaller" --info "$installer" > "$out/version-info.txt"
check "the version information names the brand ($(tr '\n' ' ' < "$out/version-info.txt"))" \
    grep -qxF "ProductName=$brand" "$out/version-info.txt"
check "the version information's names follow the release's file name" \
    grep -qxF "OriginalFilename=LarkspurSetup.exe" "$out/version-info.txt"
check "no Morvandite in the version information: $(grep -i morvandite "$out/version-info.txt")" \
    no_morvandite "$out/version-info.txt"
wrestool -x --raw --type=16 "$installer" | iconv -f UTF-16LE -t UTF-8 2>/dev/null | tr -d '\0' > "$out/version-resource.txt"
check "no Morvandite anywhere in the version resource" no_morvandite "$out/version-resource.txt"
wrestool -x --raw --type=24 "$installer" > "$out/manifest.xml"
check "the manifest describes the brand's installer" grep -qF "<description>$brand Setup</description>" "$out/manifest.xml"
check "no Morvandite in the manifest: $(grep -i morvandite "$out/manifest.xml")" no_morvandite "$out/manifest.xml"
wrestool -x --raw --type=MV --name=205 "$installer" > "$out/messages.bin"
python3 - "$out/messages.bin" "$out/messages.txt" <<'PY' || { echo "FAIL: the message table cannot be read"; failed=$((failed + 1)); }
import lzma, struct, sys
data = open(sys.argv[1], "rb").read()
unpacked, packed = struct.unpack_from("<II", data, 0)
props = data[8:13]
lc, rest = props[0] % 9, props[0] // 9
lp, pb = rest % 5, rest // 5
dict_size = struct.unpack_from("<I", props, 1)[0]
filters = [{"id": lzma.FILTER_LZMA1, "lc": lc, "lp": lp, "pb": pb, "dict_size": dict_size}]
text = lzma.LZMADecompressor(lzma.FORMAT_RAW, filters=filters).decompress(data[13:13 + packed], unpacked)
assert len(text) == unpacked, (len(text), unpacked)
# Lines "LOCALE IDENTIFIER FLAGS TEXT": the texts alone, which the user reads.
texts = [line.split(b" ", 3)[3] for line in text.split(b"\r\n") if line.count(b" ") >= 3]
assert len(texts) > 1000, len(texts)
open(sys.argv[2], "wb").write(b"\n".join(texts))
PY
check "the message texts hold the display name's place (%0)" grep -qa '%0' "$out/messages.txt"
check "no Morvandite in any locale's message texts: $(grep -ai morvandite "$out/messages.txt" | head -3)" \
    sh -c "! grep -qai morvandite '$out/messages.txt'"
wrestool -x --raw --type=MV --name=131 "$installer" > "$out/configuration.bin"
check "the configuration section is the release's" grep -qa "dispname=$brand" "$out/configuration.bin"

# Wine: a fresh prefix, one session for the run (see registry-round-trip.sh),
# a private display for the page.
export WINEPREFIX=${MORVANDITE_WINEPREFIX:?} WINEARCH=win32 MORVANDITE_WINEARCH=win32
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8
locale -a 2>/dev/null | grep -qix 'en_US.utf8' || export LANG=C.UTF-8 LC_ALL=C.UTF-8
rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
"$here/wine-prefix.sh" || exit 1
. "$source_dir/tools/private-display.sh"
start_private_display release-install || exit 1
mkfifo "$out/session.fifo"
wine cmd /k <"$out/session.fifo" >/dev/null 2>&1 &
exec 8>"$out/session.fifo"
trap 'exec 8>&-; wineserver -k >/dev/null 2>&1; stop_private_display; rm -f "$out/session.fifo"' EXIT
drive() { wine "$windows/installer_driver.exe" "$@" 2>/dev/null | tr -d '\r'; }
cp "$installer" "$WINEPREFIX/drive_c/LarkspurSetup-partner7.exe"
installer_win='C:\LarkspurSetup-partner7.exe'

# The page: its title and every control's text name the brand, none Morvandite.
wine "$installer_win" -nolaunch >/dev/null 2>&1 &
page_pid=$!
if drive wait 120 >/dev/null; then
    sleep 1
    drive texts > "$out/page-texts.txt"
    check "the page's title names the brand ($(head -1 "$out/page-texts.txt"))" \
        grep -qxF "title	Install $brand" "$out/page-texts.txt"
    check "the agreement line names the brand" sh -c "grep -v '^title' '$out/page-texts.txt' | grep -qF '$brand'"
    check "no Morvandite on the page: $(grep -i morvandite "$out/page-texts.txt")" no_morvandite "$out/page-texts.txt"
    drive close >/dev/null
    drive answer 7 >/dev/null  # leave the installation
else
    check "the page opens" false
fi
wait $page_pid
# The usage box.
wine "$installer_win" -help >/dev/null 2>&1 &
help_pid=$!
caption=$(drive box-caption 60)
check "the usage box's caption names the brand ($caption)" test "$caption" = "Install $brand Software"
drive answer 6 >/dev/null
wait $help_pid
check "the usage box ends with 0" test $? = 0

# What Wine's session writes as it starts is written by now: the registry
# before the installation.
export_registry() {  # export_registry FILE
    wine reg export HKLM 'C:\registry-hklm.reg' /y >/dev/null 2>&1 || return 1
    wine reg export HKU 'C:\registry-hku.reg' /y >/dev/null 2>&1 || return 1
    { iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/drive_c/registry-hklm.reg"
      iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/drive_c/registry-hku.reg"; } | tr -d '\r' \
        | awk -f "$here/registry-filter.awk" > "$1"
    rm -f "$WINEPREFIX/drive_c/registry-hklm.reg" "$WINEPREFIX/drive_c/registry-hku.reg"
}
links() { find "$WINEPREFIX/drive_c" -name '*.lnk' -printf '%P\n' | sort; }
export_registry "$out/before.reg" || { echo "FAIL: cannot export the registry"; exit 1; }
links > "$out/links-before.txt"

wine "$installer_win" -silent -nolaunch -allusers=1 -desktop=1 -quicklaunch=1 -startmenu=1 -browserbutton=1 \
    '-log=C:\install.log' >/dev/null 2>&1
rc=$?
cp "$WINEPREFIX/drive_c/install.log" "$out/" 2>/dev/null
check "installed with -silent (exit code $rc)" test $rc = 0
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\'$brand
value() { wine reg query "$entry" /v "$1" /reg:32 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"; }
folder_win=$(value InstallLocation)
folder=$(winepath -u "$folder_win" 2>/dev/null | tr -d '\r'); folder=${folder%/}
check "the entry records the install folder below Program Files ($folder_win)" \
    test "$folder_win" = 'C:\Program Files\Larkspur'
check "the install folder holds the client folder's files byte for byte" \
    sh -c "cd '$client' && find . -type f -print0 | xargs -0 -I{} cmp -s '{}' '$folder/{}'"
check "the install folder holds the installer's uninstall.lst" test -f "$folder/uninstall.lst"
for v in "DisplayName=$brand" "Publisher=$brand" "DisplayVersion=4.3.2.1" \
         "URLInfoAbout=https://www.larkspur.example" "HelpLink=https://www.larkspur.example"; do
    check "the uninstall entry's ${v%%=*} is ${v#*=} (got $(value "${v%%=*}"))" test "$(value "${v%%=*}")" = "${v#*=}"
done
check "the uninstall entry's InstallDate is YYYYMMDD ($(value InstallDate))" \
    bash -c '[[ $1 =~ ^20[0-9]{6}$ ]]' _ "$(value InstallDate)"
wine reg export "$entry" 'C:\entry.reg' /reg:32 /y >/dev/null 2>&1
iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/drive_c/entry.reg" > "$out/entry.txt" 2>/dev/null
check "no Morvandite in the uninstall entry but the uninstaller's file name: $(grep -i morvandite "$out/entry.txt" | tr '\n' ' ')" \
    no_morvandite "$out/entry.txt"
links > "$out/links-after.txt"
comm -13 "$out/links-before.txt" "$out/links-after.txt" > "$out/links-made.txt"
for link in "$brand.lnk" "Uninstall $brand.lnk" "Network Status.lnk"; do
    check "a shortcut named $link" grep -q "/$link\$" "$out/links-made.txt"
done
# The program group is named by the configuration's name= (Larkspur).
check "the Start menu has the brand's program group" grep -q "Programs/Larkspur/$brand.lnk" "$out/links-made.txt"
check "no shortcut's name or folder names Morvandite: $(grep -i morvandite "$out/links-made.txt" | tr '\n' ' ')" \
    no_morvandite "$out/links-made.txt"

# The entry's quiet command, as Windows would run it.
quiet=$(value QuietUninstallString)
check "the entry's QuietUninstallString runs the installed uninstaller ($quiet)" \
    test "$quiet" = "\"$folder_win\\MorvanditeUninstall.exe\" /u:$brand /quiet"
uninstaller=${quiet%\" *}; uninstaller=${uninstaller#\"}
# Its arguments as words: the command line Windows builds from the string.
read -r -a arguments <<< "${quiet#*\" }"
wine "$uninstaller" "${arguments[@]}" >/dev/null 2>&1
rc=$?
check "the installed uninstaller ends with 0 (got $rc)" test $rc = 0
check "the install folder is gone" test ! -e "$folder"
check "no uninstall entry is left" sh -c "! wine reg query '$entry' /reg:32 >/dev/null 2>&1"
links > "$out/links-removed.txt"
check "every shortcut made is gone: $(comm -13 "$out/links-before.txt" "$out/links-removed.txt" | tr '\n' ' ')" \
    cmp -s "$out/links-before.txt" "$out/links-removed.txt"
export_registry "$out/after.reg" || { echo "FAIL: cannot export the registry"; exit 1; }
diff -u "$out/before.reg" "$out/after.reg" > "$out/registry-difference.txt"
check "the registry is as it was before the installation: $(head -30 "$out/registry-difference.txt")" \
    test ! -s "$out/registry-difference.txt"

echo "release-install: $passed passed, $failed failed (what was read is in $out)"
[ "$failed" = 0 ]
