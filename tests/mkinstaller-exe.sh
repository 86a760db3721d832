#!/usr/bin/env bash
# mkinstaller.exe and tinfo.exe, the tools' Windows builds, under Wine: from
# the same inputs they write the same bytes as the native tools (a client
# folder with nested folders, a name outside ASCII, an empty file and content
# that does not pack; a configuration, a version and brand strings), the
# Windows mkinstaller finds the stub beside itself, the installer it made
# installs the client byte for byte, a refusal leaves the output as it was and
# nothing beside it, and tinfo.exe reads back the tracking block it stamped
# and refuses to serve (a Linux tool).
# usage: mkinstaller-exe.sh NATIVE_BIN WINDOWS_BIN OUT
# Exit codes: 0 passed, 1 failed, 2 usage, 77 skipped (a tool is not built).
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: mkinstaller-exe.sh NATIVE_BIN WINDOWS_BIN OUT" >&2; exit 2; }
native=$(cd "$1" && pwd) windows=$(cd "$2" && pwd) out=$3
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "mkinstaller-exe: $*" >&2; exit 1; }
for tool in "$native/mkinstaller" "$native/tinfo" "$windows/mkinstaller.exe" "$windows/tinfo.exe" \
            "$windows/MorvanditeInstallStub.exe"; do
    [ -f "$tool" ] || { echo "mkinstaller-exe: skipped: no $tool"; exit 77; }
done
wine() { "$here/wine-run.sh" "$@"; }

rm -rf "$out"
mkdir -p "$out/client/Data/Deep" "$out/client/Themes"
out=$(cd "$out" && pwd)
client=$out/client
# Three MB that do not pack: the payload spans several of the pieces
# mkinstaller packs into, and the encoder several of its blocks.
head -c 3000000 /dev/urandom > "$client/Data/Deep/noise.bin"
seq 1 200000 > "$client/Data/counts.txt"
printf 'r\303\251sum\303\251\r\n' > "$client/Data/R$(printf '\303\251')sum$(printf '\303\251').txt"
: > "$client/Themes/empty.ini"
head -c 50000 /dev/zero | tr '\0' 'x' > "$client/Morvandite.exe"
printf '[define]\r\nname=Second\r\ndispname=Second Client\r\nsite=https://second.example\r\nieB1_1={5E1F7C2A-9B3D-4C8E-A1F6-2D7B9E4C3A10}\r\n' > "$out/define.ini"
printf 'company=Second Ltd\ndescription=Second Client Setup\ncopyright=(c) Second\nproduct-name=Second \342\204\242\n' > "$out/brand.txt"
args=(--client "$client" --config "$out/define.ini" --version 2.5.0.7 --brand "$out/brand.txt")

# Both outputs have the same file name, which the version information carries.
mkdir "$out/native" "$out/wine"
"$native/mkinstaller" --stub "$windows/MorvanditeInstallStub.exe" "${args[@]}" --out "$out/native/Setup.exe" >/dev/null 2>"$out/native.err" ||
    fail "the native tool refused: $(cat "$out/native.err")"
# The installer's image (SizeOfImage) is the limit the Windows tool is given
# below: an installer exactly at its limit is made, and installs.
size_of_image() {
    python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(); e=struct.unpack_from("<I",d,0x3c)[0]; print(struct.unpack_from("<I",d,e+24+56)[0])' "$1"
}
limit=$(size_of_image "$out/native/Setup.exe")
# Without --stub: mkinstaller.exe takes the one beside itself.
wine "$windows/mkinstaller.exe" "${args[@]}" --image-limit "$limit" --out "$out/wine/Setup.exe" >"$out/wine.out" 2>"$out/wine.err" ||
    fail "mkinstaller.exe refused: $(cat "$out/wine.err")"
grep -q 'wrote .*Setup.exe: 6 files' "$out/wine.out" || fail "mkinstaller.exe's summary: $(cat "$out/wine.out")"
[ "$(stat -c %s "$out/wine/Setup.exe")" -gt 3000000 ] || fail "mkinstaller.exe's installer is too small to carry the client"
cmp "$out/native/Setup.exe" "$out/wine/Setup.exe" || fail "mkinstaller.exe wrote other bytes than the native tool"
cp "$out/native/Setup.exe" "$out/native.exe"

# The installer mkinstaller.exe made at its image limit installs the client as it is.
target='C:\mkinstaller-exe-test'
target_unix=${MORVANDITE_WINEPREFIX:-$here/../build/windows/wineprefix}/drive_c/mkinstaller-exe-test
rm -rf "$target_unix"
wine "$out/wine/Setup.exe" -silent -nolaunch -desktop=0 -quicklaunch=0 -startmenu=0 -browserbutton=0 \
    "-dir=$target" >/dev/null 2>&1 || fail "the installer mkinstaller.exe made did not install (exit code $?)"
while IFS= read -r f; do
    cmp "$client/$f" "$target_unix/$f" || fail "the installed $f differs from the client's"
done < <(cd "$client" && find . -type f)
[ -f "$target_unix/uninstall.lst" ] || fail "the installation has no uninstall.lst"
rm -rf "$target_unix"
wine reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Second Client' /f /reg:32 >/dev/null 2>&1 || true

# A refusal writes nothing: the image limit below the stub, and one byte
# below the installer just made and installed.
for refused_limit in 4096 $((limit - 1)); do
    echo previous > "$out/refused.exe"
    if wine "$windows/mkinstaller.exe" "${args[@]}" --image-limit $refused_limit --out "$out/refused.exe" >/dev/null 2>"$out/refused.err"; then
        fail "mkinstaller.exe made an installer above its image limit of $refused_limit bytes"
    fi
    grep -q "above the limit of $refused_limit bytes" "$out/refused.err" || fail "the refusal: $(cat "$out/refused.err")"
    [ "$(cat "$out/refused.exe")" = previous ] || fail "the refused output changed"
    ! ls "$out" | grep -q '\.part-' || fail "a temporary file was left: $(ls "$out")"
done

# tinfo.exe stamps as the native tool does, and reads its block back.
printf 'source=spring\r\npartner=42\r\n' > "$out/lines.txt"
"$native/tinfo" stamp "$out/native.exe" "$out/lines.txt" "$out/tracked-native.exe" || fail "the native tinfo refused"
wine "$windows/tinfo.exe" stamp "$out/native.exe" "$out/lines.txt" "$out/tracked-wine.exe" 2>"$out/tinfo.err" ||
    fail "tinfo.exe refused: $(cat "$out/tinfo.err")"
cmp "$out/tracked-native.exe" "$out/tracked-wine.exe" || fail "tinfo.exe stamped other bytes than the native tool"
read_back=$(wine "$windows/tinfo.exe" read "$out/tracked-wine.exe" | tr -d '\r')
[ "$read_back" = "$(printf 'source=spring\npartner=42')" ] || fail "tinfo.exe read: $read_back"
# The tag server is the Linux build's: tinfo.exe refuses it, saying so.
status=0
wine "$windows/tinfo.exe" serve "$out/tracked-wine.exe" --listen 127.0.0.1:0 2>"$out/serve.err" || status=$?
[ "$status" = 1 ] && grep -q "serve is not part of the Windows build" "$out/serve.err" \
    || fail "tinfo.exe serve: exit $status, $(cat "$out/serve.err")"
echo "mkinstaller-exe: passed"
