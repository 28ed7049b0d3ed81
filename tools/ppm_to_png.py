#!/usr/bin/python3
"""Turns each P6 picture named on the command line into a PNG beside it
(same name, .png) and removes the PPM."""
import os
import struct
import sys
import zlib


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


for path in sys.argv[1:]:
    raw = open(path, "rb").read()
    magic, width, height, maxval, pixels = raw.split(maxsplit=4)
    assert magic == b"P6" and maxval == b"255", path
    width, height = int(width), int(height)
    stride = 3 * width
    rows = b"".join(b"\0" + pixels[y * stride:(y + 1) * stride] for y in range(height))
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))
    out = os.path.splitext(path)[0] + ".png"
    open(out, "wb").write(png)
    os.remove(path)
    print(out)
