#!/usr/bin/env bash
# Makes the installers the release tests install under Wine, the way the
# release team makes them, and checks what can be checked without Wine:
#   OUT/client/      a second client: nested folders, an empty file, a file of
#                    several MB (made here, never committed), a code page 1252
#                    name, the sample client's uninstaller and its file list
#   OUT/Second.exe   mkinstaller: that client, its own configuration section,
#                    version 4.3.2.1 and product name "Larkspur Cards"
#   OUT/Signed.exe   Second.exe signed with a throwaway self-signed certificate
#   OUT/Tracked.exe  Signed.exe stamped by tinfo (the tag in a certificate of the
#                    signature); osslsigncode must still accept it, and only zero
#                    padding may follow the PKCS#7 data
# usage: release-inputs.sh NATIVE_BIN STUB SAMPLE_CLIENT OUT
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: release-inputs.sh NATIVE_BIN STUB SAMPLE_CLIENT OUT" >&2; exit 2; }
bin=$1 stub=$2 sample=$3 out=$4
top=$(cd "$(dirname "$0")/.." && pwd)
fail() { echo "release-inputs: $*" >&2; exit 1; }

rm -rf "$out"
mkdir -p "$out/client/Data/Deep/Nested" "$out/client/Media"
client=$out/client
cp "$sample/MorvanditeUninstall.exe" "$client/"
printf 'Larkspur notes\r\n' > "$client/Data/Deep/Nested/notes.txt"
: > "$client/Data/empty.dat"
printf 'curriculum\r\n' > "$client/Data/R$(printf '\303\251')sum$(printf '\303\251').txt"
# Six MB that LZMA cannot shrink much, the same on every run.
python3 -c "
import hashlib, sys
with open(sys.argv[1], 'wb') as f:
    block = b'seed'
    for _ in range(6 * 1024 * 1024 // 32):
        block = hashlib.sha256(block).digest()
        f.write(block)
" "$client/Media/big.bin"
# The uninstaller's list: every file, uninstall.lst itself included, as the
# sample client's is made (code page 1252, backslashes, CR LF).
(cd "$client" && { find . -type f ! -name uninstall.lst -printf '%P\n'; echo uninstall.lst; } | sort -f | sed 's|/|\\|g; s/$/\r/' \
    | iconv -f UTF-8 -t CP1252 > uninstall.lst)

cat > "$out/second.ini" <<'INI'
[define]
name=Larkspur
dispname=Larkspur
mainwnd=LarkspurLobbyClass
site=https://larkspur.example
ieB1_1={5E1F7C2A-9B3D-4C8E-A1F6-2D7B9E4C3A10}
iconPath=MorvanditeUninstall.exe
iconIdx=0
INI
"$bin/mkinstaller" --stub "$stub" --client "$client" --config "$out/second.ini" \
    --version 4.3.2.1 --product-name "Larkspur Cards" --out "$out/Second.exe"
# The same inputs give the same bytes (the output's name is one of them: a
# rebranded installer carries it as its original file name).
mkdir "$out/again"
"$bin/mkinstaller" --stub "$stub" --client "$client" --config "$out/second.ini" \
    --version 4.3.2.1 --product-name "Larkspur Cards" --out "$out/again/Second.exe"
cmp "$out/Second.exe" "$out/again/Second.exe" || fail "mkinstaller gave different bytes for the same inputs"
rm -rf "$out/again"

# Signed with a throwaway certificate, then tracked.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Larkspur Test Signing" \
    -keyout "$out/key.pem" -out "$out/cert.pem" 2>/dev/null
cp "$out/Second.exe" "$out/Signed.exe"
"$top/tools/sign.sh" --cert "$out/cert.pem" --key "$out/key.pem" "$out/Signed.exe"
osslsigncode verify -CAfile "$out/cert.pem" -in "$out/Signed.exe" > "$out/verify-signed.txt" 2>&1 \
    || { cat "$out/verify-signed.txt"; fail "the signed installer does not verify"; }
printf 'SRC=larkspur-partner\r\nTHM=midnight\r\n' > "$out/lines.txt"
"$bin/tinfo" stamp "$out/Signed.exe" "$out/lines.txt" "$out/Tracked.exe"
osslsigncode verify -CAfile "$out/cert.pem" -in "$out/Tracked.exe" > "$out/verify-tracked.txt" 2>&1 \
    || { cat "$out/verify-tracked.txt"; fail "the tracked copy of the signed installer does not verify"; }
grep -q "PE checksum" "$out/verify-tracked.txt" && ! grep -qi "invalid PE checksum" "$out/verify-tracked.txt" \
    || fail "the tracked copy's PE checksum is wrong"
[ "$("$bin/tinfo" read "$out/Tracked.exe")" = "$(printf 'SRC=larkspur-partner\nTHM=midnight')" ] \
    || fail "tinfo read does not give the stamped lines back"
# What Windows' strict check (EnableCertPaddingCheck) looks at, read without
# our code: nothing but zero padding after the PKCS#7 data, the tag in a
# certificate of the set, which OpenSSL reads too.
python3 "$top/tests/signature_layout.py" "$out/Tracked.exe" > "$out/layout-tracked.txt" \
    || { cat "$out/layout-tracked.txt"; fail "the tracked copy's certificate table is not as the strict check wants it"; }
grep -q "^tag certificate: 34 bytes of tag" "$out/layout-tracked.txt" && grep -q "^certificates: 2" "$out/layout-tracked.txt" \
    || { cat "$out/layout-tracked.txt"; fail "the tracked copy carries no tag certificate beside the signer's"; }
table_at=$(python3 -c "import struct,sys; b=open(sys.argv[1],'rb').read(); pe=struct.unpack_from('<I',b,60)[0]; print(struct.unpack_from('<I',b,pe+24+96+32)[0])" "$out/Tracked.exe")
tail -c +$((table_at + 9)) "$out/Tracked.exe" | openssl pkcs7 -inform DER -print_certs -noout > "$out/certs-tracked.txt" 2>&1 \
    && grep -q "subject=CN = Morvandite tracking tag" "$out/certs-tracked.txt" \
    || { cat "$out/certs-tracked.txt"; fail "openssl does not read the tag certificate"; }
# Stamped again: the tag certificate is replaced, not added.
printf 'SRC=another\r\n' > "$out/lines2.txt"
"$bin/tinfo" stamp "$out/Tracked.exe" "$out/lines2.txt" "$out/Restamped.exe"
osslsigncode verify -CAfile "$out/cert.pem" -in "$out/Restamped.exe" > "$out/verify-restamped.txt" 2>&1 \
    || { cat "$out/verify-restamped.txt"; fail "the re-stamped copy does not verify"; }
python3 "$top/tests/signature_layout.py" "$out/Restamped.exe" > "$out/layout-restamped.txt" \
    && grep -q "^certificates: 2" "$out/layout-restamped.txt" \
    || { cat "$out/layout-restamped.txt"; fail "re-stamping added a certificate instead of replacing it"; }
[ "$("$bin/tinfo" read "$out/Restamped.exe")" = "SRC=another" ] || fail "the re-stamped copy does not read back"
rm -f "$out/Restamped.exe"
echo "release-inputs: Second.exe, Signed.exe and Tracked.exe in $out"
