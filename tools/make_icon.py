#!/usr/bin/python3
"""Draws the uninstaller's icon: a package box with a red removal badge.

One 32 x 32 image in 256 colours (8 bits per pixel) with its transparency
mask, written as an .ico file. Its palette holds only the colours drawn
(the header's used-colour count says how many): a full 256-entry table
would add almost 1 KB of unused black to a program that counts its bytes.
The drawing is pure arithmetic, so every run writes the same bytes.

usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

SIZE = 32
# Palette slots used by the drawing; the palette ends after the last one.
TRANSPARENT, OUTLINE, BOX_TOP, BOX_FRONT, BOX_SIDE, TAPE, BADGE, BADGE_EDGE, WHITE = range(9)
PALETTE = {
    TRANSPARENT: (0, 0, 0),
    OUTLINE: (64, 40, 16),
    BOX_TOP: (236, 196, 128),
    BOX_FRONT: (212, 160, 88),
    BOX_SIDE: (176, 124, 60),
    TAPE: (248, 232, 196),
    BADGE: (208, 32, 32),
    BADGE_EDGE: (120, 16, 16),
    WHITE: (255, 255, 255),
}
COLOURS = len(PALETTE)


def draw():
    """Returns rows top to bottom, each a list of palette indexes."""
    pixels = [[TRANSPARENT] * SIZE for _ in range(SIZE)]

    def put(x, y, colour):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            pixels[y][x] = colour

    # Box: top face as a parallelogram, front and side faces below it.
    for y in range(4, 11):
        shift = 10 - y
        for x in range(3 + shift, 21 + shift):
            put(x, y, BOX_TOP)
    for y in range(11, 28):
        for x in range(3, 21):
            put(x, y, BOX_FRONT)
    # Side face: a parallelogram that climbs one pixel per column.
    for x in range(21, 28):
        for y in range(11 - (x - 20), 28 - (x - 20)):
            put(x, y, BOX_SIDE)
    for y in range(4, 28):
        for x in range(SIZE):
            if pixels[y][x] != TRANSPARENT:
                edge = any(
                    not (0 <= x + dx < SIZE and 0 <= y + dy < SIZE)
                    or pixels[y + dy][x + dx] == TRANSPARENT
                    for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
                if edge:
                    pixels[y][x] = OUTLINE
    for x in range(4, 21):
        put(x, 11, OUTLINE)
    # Tape across the top and down the front.
    for y in range(5, 11):
        put(12 + (10 - y), y, TAPE)
        put(13 + (10 - y), y, TAPE)
    for y in range(12, 19):
        put(11, y, TAPE)
        put(12, y, TAPE)

    # Removal badge: a red disc with a white bar, lower right.
    cx, cy, radius = 23, 23, 7.5
    for y in range(SIZE):
        for x in range(SIZE):
            d2 = (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2
            if d2 <= radius ** 2:
                put(x, y, BADGE_EDGE if d2 > (radius - 1.2) ** 2 else BADGE)
    for y in range(22, 25):
        for x in range(19, 28):
            put(x, y, WHITE)
    return pixels


def icon_bytes():
    pixels = draw()
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 8, 0,
                         SIZE * SIZE, 0, 0, COLOURS, 0)
    palette = b''.join(
        struct.pack('<BBBB', *reversed(PALETTE[i]), 0)
        for i in range(COLOURS))
    # Bitmap rows run bottom to top; every row is 32 bytes (no padding).
    xor = b''.join(bytes(row) for row in reversed(pixels))
    mask = b''
    for row in reversed(pixels):
        bits = 0
        for x, index in enumerate(row):
            if index == TRANSPARENT:
                bits |= 1 << (31 - x)
        mask += struct.pack('>I', bits)  # 32 bits: already a multiple of 4 bytes
    image = header + palette + xor + mask
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], 'wb') as out:
        out.write(icon_bytes())


if __name__ == '__main__':
    main()
