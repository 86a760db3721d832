# Takes out of a registry export (UTF-8, one value per logical line, hex data
# continued with a trailing backslash) what registry-round-trip.sh explains
# is not the installation's: HKLM\Hardware (volatile, made again by Wine at
# each start) and the value PendingFileRenameOperations.
/^\[/ {
    skip_key = ($0 ~ /^\[HKEY_LOCAL_MACHINE\\Hardware(\\|\])/)
    continued = 0
}
skip_key { next }
continued { continued = ($0 ~ /\\$/); next }
/^"PendingFileRenameOperations"=/ { continued = ($0 ~ /\\$/); next }
{ print }
