#!/usr/bin/env bash
# plib/ is built in layers, each folder a library that may use only the
# layers below it:
#   core <- text <- sys <- log <- i18n,  core + text <- archive <- i18n.
# The link order alone lets a header of a higher layer slip in (a header
# needs no library), so this check reads every include (and __has_include)
# in plib/ and fails, naming the file and the header, when one reaches a
# layer that is not below its own, or anything in installer/, protocols/ or
# client/ (plib serves them, never the other way round).
# Usage: plib_layering_check.sh SOURCE_DIR
set -uo pipefail
top=${1:?usage: plib_layering_check.sh SOURCE_DIR}
cd "$top" || exit 2

# The layers each layer may include, its own among them.
declare -A allowed=(
    [core]="core"
    [text]="core text"
    [sys]="core text sys"
    [log]="core text sys log"
    [archive]="core text archive"
    [i18n]="core text sys log archive i18n"
)

# Which layer holds each plib header.
declare -A layer_of
for layer in "${!allowed[@]}"; do
    [ -d "plib/$layer" ] || { echo "plib/$layer is missing"; exit 2; }
    for h in plib/"$layer"/*.h; do
        [ -e "$h" ] && layer_of[$(basename "$h")]=$layer
    done
done
for d in plib/*/; do
    d=${d%/}
    [ -n "${allowed[$(basename "$d")]+x}" ] || { echo "$d: a plib folder that is not a known layer"; exit 1; }
done

# Headers of the programs above plib.
declare -A above
while IFS= read -r h; do
    above[$(basename "$h")]=${h%/*}
done < <(find installer protocols client -name '*.h' 2>/dev/null)

failures=0
for layer in "${!allowed[@]}"; do
    for f in plib/"$layer"/*; do
        case $f in *.h|*.c|*.cpp) ;; *) continue ;; esac
        while IFS= read -r line; do
            header=$(sed -E 's/.*(include|__has_include)[[:space:]]*\(?[[:space:]]*"([^"]+)".*/\2/' <<<"$line")
            name=$(basename "$header")
            if [ "$header" != "$name" ]; then
                echo "$f: includes \"$header\" by path (plib includes headers by name only)"
                failures=$((failures + 1))
            elif [ -n "${layer_of[$name]+x}" ]; then
                target=${layer_of[$name]}
                if [[ " ${allowed[$layer]} " != *" $target "* ]]; then
                    echo "$f: includes \"$name\" of plib/$target, which plib/$layer may not use"
                    failures=$((failures + 1))
                fi
            elif [ -n "${above[$name]+x}" ]; then
                echo "$f: includes \"$name\" of ${above[$name]}/ (plib may not use the programs above it)"
                failures=$((failures + 1))
            fi
        done < <(grep -E '^[[:space:]]*#[[:space:]]*(include|if|elif).*"[^"]+"' "$f" |
                 grep -E '(include|__has_include)[[:space:]]*\(?[[:space:]]*"')
    done
done
if [ "$failures" -ne 0 ]; then
    echo "$failures include(s) break the plib layers"
    exit 1
fi
echo "every plib include stays within its layer or below"
