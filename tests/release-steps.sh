#!/usr/bin/env bash
# Runs README.md's "Shipping a client release" as a release team would: every
# command block of that section, exactly as written, in order, from a folder
# laid out like the release machine's (build/native/bin, tools/) with a fresh
# client folder in ~/client-4.3.2.1 that has no uninstall.lst. Then checks
# what came out: the client folder untouched, the tracked copy signed with
# the installer's own description and carrying its lines, and its payload
# holding every file of the folder and an uninstall.lst that lists exactly
# those files (itself included), UTF-8 and CR LF.
# CLIENT_FILES, when given, is a client folder (the sample client's) whose
# files, less its uninstall.lst, the fresh client folder starts with: its
# programs, the uninstaller among them, make a release that installs and
# uninstalls (tests/release-install.sh).
# usage: release-steps.sh SOURCE_DIR NATIVE_BIN OUT [CLIENT_FILES]
# Exit codes: 0 passed, 1 failed, 2 usage, 77 skipped (no installer stub:
# the Windows tree is not built).
set -euo pipefail
[ $# -eq 3 ] || [ $# -eq 4 ] || { echo "usage: release-steps.sh SOURCE_DIR NATIVE_BIN OUT [CLIENT_FILES]" >&2; exit 2; }
source_dir=$(cd "$1" && pwd) bin=$(cd "$2" && pwd) out=$3 client_files=${4:-}
fail() { echo "release-steps: $*" >&2; exit 1; }
stub=$(dirname "$(dirname "$bin")")/windows/bin/MorvanditeInstallStub.exe
[ -f "$stub" ] || { echo "release-steps: skipped: no stub at $stub (build the Windows tree)"; exit 77; }

rm -rf "$out"
work=$out/release-machine home=$out/home
mkdir -p "$work/build/native" "$home"
ln -s "$bin" "$work/build/native/bin"
ln -s "$source_dir/tools" "$work/tools"

# A fresh client folder, as a release team gets it: no uninstall.lst.
client=$home/client-4.3.2.1
mkdir -p "$client/Data/Cards" "$client/Data/Sounds/Deep" "$client/Themes"
if [ -n "$client_files" ]; then
    cp -r "$client_files/." "$client/"
    rm -f "$client/uninstall.lst"
fi
cp "$stub" "$client/Larkspur.exe"
printf '[decks]\r\ncount=2\r\n' > "$client/Data/Cards/decks.ini"
: > "$client/Data/Sounds/Deep/silence.wav"
printf 'r\303\251sum\303\251\r\n' > "$client/Data/R$(printf '\303\251')sum$(printf '\303\251').txt"
printf 'themes\r\n' > "$client/Themes/themes.ini"
printf 'licence\r\n' > "$client/License.txt"
client_before=$(cd "$client" && find . -printf '%P %s %T@\n' | sort)

# The section's command blocks: lines indented by four spaces or more after
# a blank line, each block's own indentation taken off.
script=$(awk '
    /^## / { inside = ($0 == "## Shipping a client release"); next }
    !inside { next }
    /^[[:space:]]*$/ { if (block) print ""; block = 0; blank = 1; next }
    {
        if (!block && blank && match($0, /^    +/)) { block = 1; indent = RLENGTH }
        if (block) print substr($0, indent + 1)
        blank = 0
    }' "$source_dir/README.md")
[ -n "$script" ] || fail "no command blocks found in README.md's \"Shipping a client release\""
grep -q 'mkinstaller --client' <<<"$script" || fail "the README's steps do not run mkinstaller"
printf '%s\n' "$script" > "$out/steps.sh"
echo "release-steps: running README.md's steps ($out/steps.sh) in $work"
(cd "$work" && env -u MORVANDITE_SIGN_CERT -u MORVANDITE_SIGN_KEY HOME="$home" bash -euo pipefail "$out/steps.sh") \
    > "$out/steps.log" 2>&1 || { cat "$out/steps.log"; fail "a step of README.md failed"; }
cat "$out/steps.log"

tracked=$work/LarkspurSetup-partner7.exe
[ -f "$tracked" ] || fail "the steps left no $tracked"
[ "$(cd "$client" && find . -printf '%P %s %T@\n' | sort)" = "$client_before" ] \
    || fail "the client folder was changed"
[ ! -e "$client/uninstall.lst" ] || fail "mkinstaller wrote uninstall.lst into the client folder"

grep -q "^THM=midnight$" <(cd "$work" && "$bin/tinfo" read "$tracked") || fail "the tracked copy lacks its lines"
osslsigncode verify -CAfile "$work/release-cert.pem" -in "$tracked" > "$out/verify.txt" 2>&1 \
    || { cat "$out/verify.txt"; fail "the tracked copy's signature does not verify"; }
grep -q "Text description: Larkspur Cards Setup$" "$out/verify.txt" \
    || fail "the signature's description is not the installer's FileDescription"
"$bin/mkinstaller" --info "$tracked" > "$out/info.txt"
for line in "CompanyName=Larkspur Games Ltd" "LegalCopyright=Copyright (C) 2026 Larkspur Games Ltd" \
        "ProductName=Larkspur Cards" "FileVersion=4.3.2.1"; do
    grep -qxF "$line" "$out/info.txt" || fail "the version information lacks $line"
done

# The payload: every file of the client folder, and a list of exactly those
# files and itself.
wrestool -x --raw --type=MV --name=130 "$tracked" > "$out/payload.bin"
"$bin/payload" extract "$out/payload.bin" "$out/installed" > /dev/null
differences=$(diff -r "$client" "$out/installed" | grep -v "^Only in $out/installed: uninstall.lst$" || true)
[ -z "$differences" ] || fail "the payload differs from the client folder: $differences"
list=$out/installed/uninstall.lst
[ -f "$list" ] || fail "the installer carries no uninstall.lst"
iconv -f UTF-8 -t UTF-8 "$list" > /dev/null || fail "uninstall.lst is not UTF-8"
[ "$(grep -c $'\r$' "$list")" = "$(wc -l < "$list")" ] || fail "a line of uninstall.lst does not end with CR LF"
diff <(tr -d '\r' < "$list" | tr '\\' / | LC_ALL=C sort) \
     <(cd "$out/installed" && find . -type f -printf '%P\n' | LC_ALL=C sort) \
    || fail "uninstall.lst does not list exactly the installed files"
echo "release-steps: README.md's steps made $tracked; its uninstall.lst lists all $(wc -l < "$list") files"
