#!/usr/bin/env bash
# mkinstaller.exe and tinfo.exe, the tools' Windows builds, under Wine: from
# the same inputs they write the same bytes as the native tools (a client
# folder with nested folders, a name outside ASCII, an empty file and content
# that does not pack; a configuration, a version and brand strings), the
# Windows mkinstaller finds the stub beside itself, a refusal leaves the
# output as it was and nothing beside it, tinfo.exe stamps unsigned and
# signed installers as the native tool does, reads the tags back and
# refuses to serve (a Linux tool).
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
head -c 200000 /dev/urandom > "$client/Data/Deep/noise.bin"
printf 'r\303\251sum\303\251\r\n' > "$client/Data/R$(printf '\303\251')sum$(printf '\303\251').txt"
: > "$client/Themes/empty.ini"
head -c 50000 /dev/zero | tr '\0' 'x' > "$client/Morvandite.exe"
printf '[define]\r\nname=Second\r\ndispname=Second Client\r\nsite=https://second.example\r\nieB1_1={5E1F7C2A-9B3D-4C8E-A1F6-2D7B9E4C3A10}\r\n' > "$out/define.ini"
printf 'company=Second Ltd\ndescription=Second Client Setup\ncopyright=(c) Second\nproduct-name=Second \342\204\242\n' > "$out/brand.txt"
args=(--client "$client" --config "$out/define.ini" --version 2.5.0.7 --brand "$out/brand.txt")

"$native/mkinstaller" --stub "$windows/MorvanditeInstallStub.exe" "${args[@]}" --out "$out/native.exe" >/dev/null 2>"$out/native.err" ||
    fail "the native tool refused: $(cat "$out/native.err")"
# Without --stub: mkinstaller.exe takes the one beside itself.
wine "$windows/mkinstaller.exe" "${args[@]}" --out "$out/wine.exe" >"$out/wine.out" 2>"$out/wine.err" ||
    fail "mkinstaller.exe refused: $(cat "$out/wine.err")"
grep -q 'wrote .*wine.exe: 5 files' "$out/wine.out" || fail "mkinstaller.exe's summary: $(cat "$out/wine.out")"
cmp "$out/native.exe" "$out/wine.exe" || fail "mkinstaller.exe wrote other bytes than the native tool"

# A refusal writes nothing: the image limit below the stub.
echo previous > "$out/refused.exe"
if wine "$windows/mkinstaller.exe" "${args[@]}" --image-limit 4096 --out "$out/refused.exe" >/dev/null 2>"$out/refused.err"; then
    fail "mkinstaller.exe made an installer above its image limit"
fi
grep -q 'above the limit of 4096 bytes' "$out/refused.err" || fail "the refusal: $(cat "$out/refused.err")"
[ "$(cat "$out/refused.exe")" = previous ] || fail "the refused output changed"
! ls "$out" | grep -q '\.part-' || fail "a temporary file was left: $(ls "$out")"

# tinfo.exe stamps as the native tool does, and reads its block back.
printf 'source=spring\r\npartner=42\r\n' > "$out/lines.txt"
"$native/tinfo" stamp "$out/native.exe" "$out/lines.txt" "$out/tracked-native.exe" || fail "the native tinfo refused"
wine "$windows/tinfo.exe" stamp "$out/native.exe" "$out/lines.txt" "$out/tracked-wine.exe" 2>"$out/tinfo.err" ||
    fail "tinfo.exe refused: $(cat "$out/tinfo.err")"
cmp "$out/tracked-native.exe" "$out/tracked-wine.exe" || fail "tinfo.exe stamped other bytes than the native tool"
read_back=$(wine "$windows/tinfo.exe" read "$out/tracked-wine.exe" | tr -d '\r')
[ "$read_back" = "$(printf 'source=spring\npartner=42')" ] || fail "tinfo.exe read: $read_back"
# And a signed installer: the tag in a certificate of the signature, the same bytes.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tools Test" -keyout "$out/key.pem" \
    -out "$out/cert.pem" 2>/dev/null
cp "$out/native.exe" "$out/signed.exe"
"$here/../tools/sign.sh" --name "Tools Test" --cert "$out/cert.pem" --key "$out/key.pem" "$out/signed.exe" >/dev/null
"$native/tinfo" stamp "$out/signed.exe" "$out/lines.txt" "$out/signed-native.exe" || fail "the native tinfo refused the signed installer"
wine "$windows/tinfo.exe" stamp "$out/signed.exe" "$out/lines.txt" "$out/signed-wine.exe" 2>"$out/tinfo.err" ||
    fail "tinfo.exe refused the signed installer: $(cat "$out/tinfo.err")"
cmp "$out/signed-native.exe" "$out/signed-wine.exe" || fail "tinfo.exe stamped the signed installer otherwise than the native tool"
read_back=$(wine "$windows/tinfo.exe" read "$out/signed-wine.exe" | tr -d '\r')
[ "$read_back" = "$(printf 'source=spring\npartner=42')" ] || fail "tinfo.exe read the signed copy: $read_back"
# The tag server is the Linux build's: tinfo.exe refuses it, saying so.
status=0
wine "$windows/tinfo.exe" serve "$out/tracked-wine.exe" --listen 127.0.0.1:0 2>"$out/serve.err" || status=$?
[ "$status" = 1 ] && grep -q "serve is not part of the Windows build" "$out/serve.err" \
    || fail "tinfo.exe serve: exit $status, $(cat "$out/serve.err")"
echo "mkinstaller-exe: passed"
