#!/usr/bin/python3
"""Writes the gauge's six bitmaps (8 bits per pixel, grey palette whose entry 0
is black, 3780 pixels per metre) into the folder given as argv[1].

100..500 are plain black; 600 is a flap handle: a light-grey knob lettered
FLAP at the top of a grey shaft. The output depends on nothing but this file.
"""
import os
import struct
import sys

PIXELS_PER_METRE = 3780
PLAIN = {100: (331, 154), 200: (55, 41), 300: (56, 41), 400: (39, 48), 500: (6, 8)}
FLAP_SIZE = (53, 122)

# Palette index = grey level.
BLACK, LETTER, SHAFT_DARK, SHAFT, SHAFT_LIGHT, KNOB_EDGE, KNOB = 0, 40, 90, 128, 165, 170, 205

# 5 x 7 capitals, one string per row.
GLYPHS = {
    "F": ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
}


def flap_handle():
    width, height = FLAP_SIZE
    rows = [[BLACK] * width for _ in range(height)]
    # Shaft: centred, from under the knob to the bottom edge, lit from the left.
    shaft_left, shaft_width = 21, 11
    for y in range(22, height):
        for x in range(shaft_left, shaft_left + shaft_width):
            edge = x - shaft_left
            rows[y][x] = SHAFT_LIGHT if edge < 2 else SHAFT_DARK if edge >= shaft_width - 2 else SHAFT
    # Knob: rounded rectangle across the top.
    knob_left, knob_top, knob_width, knob_height = 1, 1, 51, 24
    for y in range(knob_top, knob_top + knob_height):
        for x in range(knob_left, knob_left + knob_width):
            dx = min(x - knob_left, knob_left + knob_width - 1 - x)
            dy = min(y - knob_top, knob_top + knob_height - 1 - y)
            if dx + dy < 3:
                continue  # cut corners
            rows[y][x] = KNOB_EDGE if dx == 0 or dy == 0 or dx + dy == 3 else KNOB
    # Lettering at double size: 4 glyphs of 10 px with 2 px gaps = 46 px.
    scale, gap = 2, 2
    text_left = knob_left + (knob_width - (4 * 5 * scale + 3 * gap)) // 2
    text_top = knob_top + (knob_height - 7 * scale) // 2
    for i, letter in enumerate("FLAP"):
        left = text_left + i * (5 * scale + gap)
        for gy, line in enumerate(GLYPHS[letter]):
            for gx, cell in enumerate(line):
                if cell == "#":
                    for sy in range(scale):
                        for sx in range(scale):
                            rows[text_top + gy * scale + sy][left + gx * scale + sx] = LETTER
    return width, height, rows


def bitmap_file(width, height, rows):
    stride = (width + 3) & ~3
    bits = bytearray()
    for row in reversed(rows):  # bottom-up
        bits += bytes(row) + bytes(stride - width)
    palette = b"".join(bytes((g, g, g, 0)) for g in range(256))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(bits),
                       PIXELS_PER_METRE, PIXELS_PER_METRE, 256, 0)
    offset = 14 + len(info) + len(palette)
    head = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    return head + info + palette + bytes(bits)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    images = {ident: (w, h, [[BLACK] * w for _ in range(h)]) for ident, (w, h) in PLAIN.items()}
    images[600] = flap_handle()
    for ident, (w, h, rows) in images.items():
        path = os.path.join(out, "bitmap%d.bmp" % ident)
        data = bitmap_file(w, h, rows)
        # Leave an unchanged file alone so the resource is not rebuilt.
        if not os.path.exists(path) or open(path, "rb").read() != data:
            with open(path, "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
