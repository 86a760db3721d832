#!/bin/sh
# Regenerates the installer's pictures in this folder.
# Needs python3 and cjpeg (Debian: libjpeg-turbo-progs); the output is the
# same byte for byte on every run.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

python3 "$here/make-pictures.py" "$work"

# Side picture: progressive, optimised Huffman tables, YCbCr 4:2:0, no
# comment or EXIF; cjpeg writes only the JFIF header, which has no date.
cjpeg -quality 88 -sample 2x2 -optimize -progressive -dct int \
    -outfile "$work/background-103.jpg" "$work/background-103.ppm"
rm "$work/background-103.ppm"

for f in "$work"/*; do
    cp "$f" "$here/$(basename "$f")"
done
