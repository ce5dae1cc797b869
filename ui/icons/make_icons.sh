#!/usr/bin/env bash
# Renders the icon from ostrivane.svg: the PNGs of 16, 32, 48, 64, 128 and 256
# pixels that the window uses and the packages install for desktops and
# software centres, and ostrivane.ico with the first three sizes each in 256
# colours and in 32-bit colour with alpha, for the Windows executable. The
# outputs are committed; run this again only after changing the drawing. Needs
# ImageMagick and its SVG reader, rsvg-convert (librsvg2-bin).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
convert=/usr/bin/convert
[ -x "$convert" ] || convert=$(command -v convert)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ico_parts=()
for size in 16 32 48; do
    # Render at four times the size, then scale down: smoother edges at 16 px.
    density=$((72 * size * 4 / 48))
    "$convert" -background none -density "$density" "$here/ostrivane.svg" \
        -resize "${size}x${size}" -depth 8 "PNG32:$here/ostrivane-$size.png"
    "$convert" "$here/ostrivane-$size.png" -depth 8 "rgba:$work/$size.rgba"
    "$convert" "$here/ostrivane-$size.png" -alpha off +dither -colors 255 -depth 8 \
        "rgb:$work/$size.rgb"
    ico_parts+=("$size:$work/$size.rgba:$work/$size.rgb")
done
for size in 64 128 256; do
    "$convert" -background none -density $((72 * size * 2 / 48)) "$here/ostrivane.svg" \
        -resize "${size}x${size}" -depth 8 "PNG32:$here/ostrivane-$size.png"
done
/usr/bin/python3 "$here/write_ico.py" "$here/ostrivane.ico" "${ico_parts[@]}"
