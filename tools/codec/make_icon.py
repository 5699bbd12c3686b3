#!/usr/bin/env python3
"""Writes resources/q7.ico: the program's own 32 x 32, 16-colour icon.

A blue tile with a white "Q" and a yellow "7", drawn from the bitmaps below
so the icon can be rebuilt byte for byte.
"""
import struct
import sys

# The platform's standard 16-colour palette, as (red, green, blue); the file
# stores each entry as an RGBQUAD (blue, green, red, 0).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

BLUE, NAVY, WHITE, YELLOW, BLACK = 12, 4, 15, 11, 0

Q = [
    ".######.",
    "##....##",
    "##....##",
    "##....##",
    "##....##",
    "##..#.##",
    "##...##.",
    ".####.##",
]
SEVEN = [
    "#######",
    "#....##",
    ".....##",
    "....##.",
    "...##..",
    "...##..",
    "..##...",
    "..##...",
]


def draw():
    px = [[None] * 32 for _ in range(32)]  # None: transparent
    for y in range(32):
        for x in range(32):
            corner = min(x, 31 - x) + min(y, 31 - y)
            if corner >= 3:
                px[y][x] = NAVY if (x in (1, 30) or y in (1, 30)) else BLUE
    for glyph, ox, colour in ((Q, 3, WHITE), (SEVEN, 18, YELLOW)):
        for gy, row in enumerate(glyph):
            for gx, c in enumerate(row):
                if c == "#":
                    for dy in range(2):  # glyph rows are doubled to fill the tile
                        px[8 + gy * 2 + dy][ox + gx] = colour
    return px


def main(out):
    px = draw()
    header = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 4, 0, 512 + 128, 0, 0, 0, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    xor = bytearray()
    mask = bytearray()
    for y in range(31, -1, -1):  # bottom-up
        row = px[y]
        for x in range(0, 32, 2):
            a = row[x] if row[x] is not None else BLACK
            b = row[x + 1] if row[x + 1] is not None else BLACK
            xor.append(a << 4 | b)
        bits = 0
        for x in range(32):
            bits = bits << 1 | (1 if row[x] is None else 0)
        mask += struct.pack(">I", bits)
    image = header + colours + bytes(xor) + bytes(mask)
    assert len(image) == 744
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 16, 0, 1, 4, len(image), 6 + 16)
    with open(out, "wb") as f:
        f.write(icondir + entry + image)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/q7.ico")
