#!/usr/bin/env bash
# Every DLL the shipped programs load at run time goes through
# plib/sys/psystemdll (system folder only): a LoadLibrary call anywhere else in
# their sources could pick up a DLL planted beside a downloaded installer.
# Usage: dll_loading_check.sh SOURCE_DIR
set -uo pipefail
top=${1:?usage: dll_loading_check.sh SOURCE_DIR}
cd "$top" || exit 2
found=$(grep -rnE '\bLoadLibrary(Ex)?[AW]?[[:space:]]*\(' installer plib client \
            --include='*.cpp' --include='*.c' --include='*.h' | grep -v '^plib/sys/psystemdll_win\.cpp:')
if [ -n "$found" ]; then
    echo "LoadLibrary outside plib/sys/psystemdll_win.cpp (use LoadSystemLibrary or PSystemLibrary):"
    echo "$found"
    exit 1
fi
echo "every run-time DLL load goes through plib/sys/psystemdll"
