#!/usr/bin/env bash
# Signs an installer (Authenticode, SHA-256) in place with osslsigncode.
#   tools/sign.sh [--cert CERT.pem] [--key KEY.pem] [--name TEXT] INSTALLER
# The certificate (PEM, with its chain if any) and the private key (PEM)
# come from the options or from MORVANDITE_SIGN_CERT and MORVANDITE_SIGN_KEY;
# MORVANDITE_SIGN_PASS gives the key's passphrase and
# MORVANDITE_SIGN_TIMESTAMP a time-stamping server's address, if wanted.
# The signature's description (the name Windows shows for the program when
# it asks whether to run it) is --name, or else the installer's own
# FileDescription (mkinstaller --description), read with mkinstaller --info;
# mkinstaller is looked for in MORVANDITE_TOOLS, beside this script's build
# tree (build/native/bin) and on the PATH.
# Sign before stamping tracked copies (tools/tinfo stamp keeps the signature
# valid); a tracked or already signed installer is refused.
# Exit codes, as every tool's: 0 signed, 1 refused or failed (the reason is
# printed and the installer is as it was), 2 usage.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
usage_text="usage: tools/sign.sh [--cert CERT.pem] [--key KEY.pem] [--name TEXT] INSTALLER
       tools/sign.sh --help | --version"
help_text="$usage_text

Signs INSTALLER in place (Authenticode, SHA-256) with osslsigncode.
  --cert CERT.pem  the certificate, PEM, with its chain (or MORVANDITE_SIGN_CERT)
  --key KEY.pem    its private key, PEM (or MORVANDITE_SIGN_KEY); MORVANDITE_SIGN_PASS
                   gives its passphrase
  --name TEXT      the signature's description; default: the installer's FileDescription
MORVANDITE_SIGN_TIMESTAMP names a time-stamping server. Sign first, then stamp
tracked copies with tinfo. Check a signed copy with
  osslsigncode verify -CAfile CA.pem -in INSTALLER
where CA.pem is the certificate of the authority that issued CERT.pem (for a
self-signed test certificate, CERT.pem itself).

Exit codes: 0 signed, 1 refused or failed (the reason is printed, INSTALLER
unchanged), 2 usage."

usage() { echo "$usage_text" >&2; exit 2; }
fail() { echo "sign: $*" >&2; exit 1; }

find_mkinstaller() {
    local candidate
    for candidate in ${MORVANDITE_TOOLS:+"$MORVANDITE_TOOLS/mkinstaller"} "$here/../build/native/bin/mkinstaller" \
            "$(command -v mkinstaller || true)"; do
        [ -n "$candidate" ] && [ -x "$candidate" ] && { echo "$candidate"; return 0; }
    done
    return 1
}

tool_version() {
    local mk
    if mk=$(find_mkinstaller); then
        "$mk" --version | awk '{print $2}'
    elif [ -r "$here/../cmake/Version.cmake" ]; then
        sed -n 's/^set(MORVANDITE_VERSION_\(MAJOR\|MINOR\|PATCH\|BUILD\) \([0-9]*\))$/\2/p' \
            "$here/../cmake/Version.cmake" | paste -sd.
    else
        echo unknown
    fi
}

cert=${MORVANDITE_SIGN_CERT:-}
key=${MORVANDITE_SIGN_KEY:-}
name=
installer=
while [ $# -gt 0 ]; do
    case $1 in
        --help|-h) [ $# -eq 1 ] || usage; echo "$help_text"; exit 0 ;;
        --version) [ $# -eq 1 ] || usage; echo "sign.sh $(tool_version) (Morvandite installer tools)"; exit 0 ;;
        --cert|--key|--name)
            [ $# -ge 2 ] && [ -n "$2" ] || usage
            case $1 in --cert) cert=$2 ;; --key) key=$2 ;; --name) name=$2 ;; esac
            shift 2 ;;
        -*) usage ;;
        *) [ -z "$installer" ] || usage; installer=$1; shift ;;
    esac
done
[ -n "$installer" ] || usage

[ -n "$cert" ] || fail "no certificate: give --cert CERT.pem or set MORVANDITE_SIGN_CERT"
[ -n "$key" ] || fail "no key: give --key KEY.pem or set MORVANDITE_SIGN_KEY"
[ -e "$installer" ] || fail "$installer does not exist"
[ -f "$installer" ] && [ ! -L "$installer" ] || fail "$installer is not a regular file; it is left alone"
[ -r "$installer" ] || fail "cannot read $installer"
command -v osslsigncode >/dev/null || fail "osslsigncode is not installed (apt-get install osslsigncode)"
command -v openssl >/dev/null || fail "openssl is not installed (apt-get install openssl)"

# A Windows program starts with "MZ" and, at the offset stored at 60, "PE\0\0".
hex_at() { od -An -tx1 -j"$1" -N"$2" "$installer" 2>/dev/null | tr -d ' \n' || true; }
pe_offset=$(od -An -tu4 -j60 -N4 "$installer" 2>/dev/null | tr -d ' \n' || true)
if [ "$(hex_at 0 2)" != 4d5a ] || [ -z "$pe_offset" ] || [ "$(hex_at "$pe_offset" 4)" != 50450000 ]; then
    fail "$installer is not a Windows program"
fi

# A tracking block must stay the file's last bytes: stamped copies are made
# from the signed installer, never signed afterwards.
if [ "$(tail -c 4 "$installer" | od -An -tx1 | tr -d ' \n')" = "fefffeff" ]; then
    fail "$installer carries a tracking block; sign the installer first, then stamp copies of it"
fi
verdict=$(osslsigncode verify -in "$installer" 2>&1 || true)
if ! grep -q "No signature found" <<<"$verdict"; then
    fail "$installer is already signed"
fi

# The certificate and the key, checked here so that a mistake is named
# rather than shown as OpenSSL's decoder errors.
[ -r "$cert" ] || fail "cannot read the certificate $cert"
[ -r "$key" ] || fail "cannot read the key $key"
cert_public=$(openssl x509 -in "$cert" -noout -pubkey 2>/dev/null) \
    || fail "cannot read the certificate $cert: it is not a PEM certificate"
passin=(-passin pass:)
[ -n "${MORVANDITE_SIGN_PASS:-}" ] && passin=(-passin env:MORVANDITE_SIGN_PASS)
key_public=$(openssl pkey -in "$key" "${passin[@]}" -pubout 2>/dev/null </dev/null) \
    || fail "cannot read the key $key: it is not a PEM private key, or its passphrase (MORVANDITE_SIGN_PASS) is missing or wrong"
[ "$cert_public" = "$key_public" ] || fail "the key $key does not match the certificate $cert"

if [ -z "$name" ]; then
    mkinstaller=$(find_mkinstaller) \
        || fail "cannot read the installer's description: mkinstaller is not found (set MORVANDITE_TOOLS); or give --name"
    info=$("$mkinstaller" --info "$installer" 2>&1) || fail "cannot read the installer's description: ${info#mkinstaller: }"
    name=$(sed -n 's/^FileDescription=//p' <<<"$info")
    [ -n "$name" ] || fail "$installer has no FileDescription (mkinstaller --description); give --name"
fi

args=(sign -h sha256 -certs "$cert" -key "$key" -n "$name")
[ -n "${MORVANDITE_SIGN_PASS:-}" ] && args+=(-pass "$MORVANDITE_SIGN_PASS")
[ -n "${MORVANDITE_SIGN_TIMESTAMP:-}" ] && args+=(-ts "$MORVANDITE_SIGN_TIMESTAMP")
# osslsigncode writes only a new file: a folder of our own beside the
# installer (same file system, so the last move is a rename) holds it.
work=$(mktemp -d "$installer.part-XXXXXX") || fail "cannot create a folder beside $installer"
trap 'rm -rf "$work"' EXIT
if ! output=$(osslsigncode "${args[@]}" -in "$installer" -out "$work/signed" 2>&1); then
    fail "osslsigncode could not sign $installer:
$output"
fi
chmod --reference="$installer" "$work/signed"
mv -f "$work/signed" "$installer"
echo "sign: signed $installer as \"$name\""
