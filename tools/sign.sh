#!/usr/bin/env bash
# Signs an installer (Authenticode, SHA-256) in place with osslsigncode.
#   tools/sign.sh [--cert CERT.pem] [--key KEY.pem] [--name TEXT] INSTALLER
# The certificate (PEM, with its chain if any) and the private key (PEM)
# come from the options or from MORVANDITE_SIGN_CERT and MORVANDITE_SIGN_KEY;
# MORVANDITE_SIGN_PASS gives the key's passphrase and
# MORVANDITE_SIGN_TIMESTAMP a time-stamping server's address, if wanted.
# Sign before stamping tracked copies (tools/tinfo stamp keeps the signature
# valid); a tracked or already signed installer is refused.
set -euo pipefail

cert=${MORVANDITE_SIGN_CERT:-}
key=${MORVANDITE_SIGN_KEY:-}
name="Morvandite Setup"
usage() { echo "usage: tools/sign.sh [--cert CERT.pem] [--key KEY.pem] [--name TEXT] INSTALLER" >&2; exit 2; }
while [ $# -gt 1 ]; do
    case $1 in
        --cert) cert=$2; shift 2 ;;
        --key) key=$2; shift 2 ;;
        --name) name=$2; shift 2 ;;
        *) usage ;;
    esac
done
[ $# -eq 1 ] || usage
installer=$1
fail() { echo "sign: $*" >&2; exit 1; }
[ -n "$cert" ] && [ -n "$key" ] || fail "no certificate or key (--cert/--key or MORVANDITE_SIGN_CERT/MORVANDITE_SIGN_KEY)"
[ -r "$cert" ] || fail "cannot read the certificate $cert"
[ -r "$key" ] || fail "cannot read the key $key"
[ -r "$installer" ] || fail "cannot read $installer"
command -v osslsigncode >/dev/null || fail "osslsigncode is not installed (tools/setup-machine.sh installs it)"

# A tracking block must stay the file's last bytes: stamped copies are made
# from the signed installer, never signed afterwards.
if [ "$(tail -c 4 "$installer" | od -An -tx1 | tr -d ' \n')" = "fefffeff" ]; then
    fail "$installer carries a tracking block; sign the installer first, then stamp copies of it"
fi
verdict=$(osslsigncode verify -in "$installer" 2>&1 || true)
if ! grep -q "No signature found" <<<"$verdict"; then
    fail "$installer is already signed"
fi

args=(sign -h sha256 -certs "$cert" -key "$key" -n "$name")
[ -n "${MORVANDITE_SIGN_PASS:-}" ] && args+=(-pass "$MORVANDITE_SIGN_PASS")
[ -n "${MORVANDITE_SIGN_TIMESTAMP:-}" ] && args+=(-ts "$MORVANDITE_SIGN_TIMESTAMP")
temp="$installer.sign-tmp"
rm -f "$temp"
if ! osslsigncode "${args[@]}" -in "$installer" -out "$temp" >/dev/null; then
    rm -f "$temp"
    fail "osslsigncode could not sign $installer"
fi
chmod --reference="$installer" "$temp"
mv -f "$temp" "$installer"
echo "sign: signed $installer"
