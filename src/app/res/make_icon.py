#!/usr/bin/env python3
"""Writes the program's icon: "01" over "FF" in white on a blue tile, at 16
and 32 pixels, as a 32-bit ICO. The build takes hexbin.ico as it is kept
beside this script, so that it needs no Python; after a change here, make it
anew with: python3 make_icon.py hexbin.ico"""
import struct
import sys

# Three by five pixel digits.
GLYPHS = {
    "0": ["111", "101", "101", "101", "111"],
    "1": ["010", "110", "010", "010", "111"],
    "F": ["111", "100", "110", "100", "100"],
}
TILE = (0xA8, 0x5F, 0x1F, 0xFF)  # blue, as B G R A
INK = (0xFF, 0xFF, 0xFF, 0xFF)
CLEAR = (0, 0, 0, 0)


def draw(size):
    """Rows of BGRA pixels, top row first."""
    scale = size // 16
    pixels = [[CLEAR] * size for _ in range(size)]
    corner = scale  # the tile's corners are cut, one step deep
    for y in range(size):
        for x in range(size):
            near_x = min(x, size - 1 - x)
            near_y = min(y, size - 1 - y)
            if near_x + near_y >= corner:
                pixels[y][x] = TILE
    lines = ["01", "FF"]
    width = (3 * 2 + 1) * scale
    height = (5 * 2 + 1) * scale
    left = (size - width) // 2
    top = (size - height) // 2
    for row, text in enumerate(lines):
        for col, ch in enumerate(text):
            for gy, bits in enumerate(GLYPHS[ch]):
                for gx, bit in enumerate(bits):
                    if bit != "1":
                        continue
                    for dy in range(scale):
                        for dx in range(scale):
                            x = left + (col * 4 + gx) * scale + dx
                            y = top + (row * 6 + gy) * scale + dy
                            pixels[y][x] = INK
    return pixels


def image(size):
    """A BITMAPINFOHEADER, the pixels bottom-up, and an empty AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    body = b"".join(bytes(p) for row in reversed(draw(size)) for p in row)
    mask_row = ((size + 31) // 32) * 4
    return header + body + bytes(mask_row * size)


def main():
    sizes = [16, 32]
    images = [image(s) for s in sizes]
    offset = 6 + 16 * len(sizes)
    out = struct.pack("<HHH", 0, 1, len(sizes))
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
