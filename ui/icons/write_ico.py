#!/usr/bin/python3
"""Packs icon images into a Windows .ico, each size in 256 colours and in
32-bit colour with alpha.

    write_ico.py OUT.ico SIZE:RGBA_FILE:PALETTED_RGB_FILE ...

RGBA_FILE holds SIZE x SIZE pixels as 8-bit R, G, B, A, top row first.
PALETTED_RGB_FILE holds the same picture as 8-bit R, G, B already reduced to at
most 256 colours; its transparency comes from RGBA_FILE's alpha, as a
one-bit mask (opaque where alpha is at least half).
Only the standard library is used, so the script runs wherever Python does.
"""

import struct
import sys


def row_padded(data: bytes) -> bytes:
    return data + b"\0" * (-len(data) % 4)


def and_mask(size: int, rgba: bytes) -> bytes:
    """One bit a pixel, set where the pixel is transparent; bottom row first."""
    rows = []
    for y in reversed(range(size)):
        bits = bytearray((size + 7) // 8)
        for x in range(size):
            if rgba[(y * size + x) * 4 + 3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        rows.append(row_padded(bytes(bits)))
    return b"".join(rows)


def info_header(size: int, bits: int, colours_used: int, image_bytes: int) -> bytes:
    # The height counts the colour image and the mask together.
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, image_bytes, 0, 0,
                       colours_used, 0)


def true_colour_image(size: int, rgba: bytes) -> bytes:
    rows = []
    for y in reversed(range(size)):
        row = bytearray()
        for x in range(size):
            r, g, b, a = rgba[(y * size + x) * 4:(y * size + x) * 4 + 4]
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    mask = and_mask(size, rgba)
    return info_header(size, 32, 0, len(pixels) + len(mask)) + pixels + mask


def paletted_image(size: int, rgba: bytes, rgb: bytes) -> bytes:
    colours = []
    index_of = {}
    indexes = bytearray()
    for i in range(size * size):
        colour = rgb[i * 3:i * 3 + 3]
        if rgba[i * 4 + 3] < 128:
            colour = b"\0\0\0"  # masked out; black keeps the palette small
        if colour not in index_of:
            index_of[colour] = len(colours)
            colours.append(colour)
        indexes.append(index_of[colour])
    if len(colours) > 256:
        sys.exit(f"write_ico.py: {size} px image has {len(colours)} colours, more than 256")
    palette = b"".join(bytes((c[2], c[1], c[0], 0)) for c in colours)
    palette += b"\0" * (4 * (256 - len(colours)))
    rows = [row_padded(bytes(indexes[y * size:(y + 1) * size])) for y in reversed(range(size))]
    pixels = b"".join(rows)
    mask = and_mask(size, rgba)
    return info_header(size, 8, 256, len(pixels) + len(mask)) + palette + pixels + mask


def main(argv: list[str]) -> None:
    if len(argv) < 3:
        sys.exit(__doc__)
    images = []  # (size, bits, data)
    for image in argv[2:]:
        size_text, rgba_path, rgb_path = image.split(":")
        size = int(size_text)
        with open(rgba_path, "rb") as f:
            rgba = f.read()
        with open(rgb_path, "rb") as f:
            rgb = f.read()
        if len(rgba) != size * size * 4 or len(rgb) != size * size * 3:
            sys.exit(f"write_ico.py: {image}: not {size} x {size} pixels")
        images.append((size, 8, paletted_image(size, rgba, rgb)))
        images.append((size, 32, true_colour_image(size, rgba)))

    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    with open(argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv)
