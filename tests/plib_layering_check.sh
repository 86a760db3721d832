#!/usr/bin/env bash
# plib/ and installer/ are built in layers, each folder a library with its
# own include directory that may use only the layers below it:
#   plib:      core <- text <- sys <- log <- i18n,  core + text <- archive <- i18n;
#   installer: ui <- core <- engine <- app, each on plib and protocols.
# The link order alone lets a header of a higher layer slip in (a header
# needs no library), so this check reads every include (and __has_include)
# in both trees and fails, naming the file and the header, when one reaches
# a layer that is not below its own, or code the tree may not use (plib:
# anything of installer/, protocols/ or client/, which it serves; installer:
# client/ and tools/), or when a header is included by path, two headers of
# a tree share a name, or a source file lies outside the layer folders.
# Usage: plib_layering_check.sh SOURCE_DIR
set -uo pipefail
top=${1:?usage: plib_layering_check.sh SOURCE_DIR}
cd "$top" || exit 2

failures=0
fail() {
    echo "$1"
    failures=$((failures + 1))
}

# check_tree TREE ALLOWED FORBIDDEN...: TREE's folders are its layers;
# ALLOWED names an associative array of the layers each layer may include,
# its own among them; FORBIDDEN are the folders whose headers it may not use.
check_tree() {
    local tree=$1
    local -n may=$2
    shift 2
    local -A layer_of=() outside=()
    local layer h name f entry line header target
    for layer in "${!may[@]}"; do
        [ -d "$tree/$layer" ] || { echo "$tree/$layer is missing"; exit 2; }
        for h in "$tree/$layer"/*.h; do
            [ -e "$h" ] || continue
            name=$(basename "$h")
            [ -z "${layer_of[$name]+x}" ] || fail "$h: a second header named $name (also in $tree/${layer_of[$name]})"
            layer_of[$name]=$layer
        done
    done
    for entry in "$tree"/*; do
        if [ -d "$entry" ]; then
            [ -n "${may[$(basename "$entry")]+x}" ] || fail "$entry: a $tree folder that is not a known layer"
        elif [ "$(basename "$entry")" != CMakeLists.txt ]; then
            fail "$entry: $tree's files belong in a layer's folder"
        fi
    done
    while IFS= read -r h; do
        name=$(basename "$h")
        [ -n "${layer_of[$name]+x}" ] || outside[$name]=${h%/*}
    done < <(find "$@" -name '*.h' 2>/dev/null)

    for layer in "${!may[@]}"; do
        for f in "$tree/$layer"/*; do
            case $f in *.h|*.c|*.cpp) ;; *) continue ;; esac
            while IFS= read -r line; do
                header=$(sed -E 's/.*(include|__has_include)[[:space:]]*\(?[[:space:]]*"([^"]+)".*/\2/' <<<"$line")
                name=$(basename "$header")
                if [ "$header" != "$name" ]; then
                    fail "$f: includes \"$header\" by path ($tree includes headers by name only)"
                elif [ -n "${layer_of[$name]+x}" ]; then
                    target=${layer_of[$name]}
                    [[ " ${may[$layer]} " == *" $target "* ]] ||
                        fail "$f: includes \"$name\" of $tree/$target, which $tree/$layer may not use"
                elif [ -n "${outside[$name]+x}" ]; then
                    fail "$f: includes \"$name\" of ${outside[$name]}/ ($tree may not use it)"
                fi
            done < <(grep -E '^[[:space:]]*#[[:space:]]*(include|if|elif).*"[^"]+"' "$f" |
                     grep -E '(include|__has_include)[[:space:]]*\(?[[:space:]]*"')
        done
    done
}

declare -A plib_layers=(
    [core]="core"
    [text]="core text"
    [sys]="core text sys"
    [log]="core text sys log"
    [archive]="core text archive"
    [i18n]="core text sys log archive i18n"
)
check_tree plib plib_layers installer protocols client

declare -A installer_layers=(
    [ui]="ui"
    [core]="ui core"
    [engine]="ui core engine"
    [app]="ui core engine app"
)
check_tree installer installer_layers client tools

if [ "$failures" -ne 0 ]; then
    echo "$failures finding(s) break the plib or installer layers"
    exit 1
fi
echo "every plib and installer include stays within its layer or below"
