#!/usr/bin/env python3
"""Writes the splash test launcher's picture and icon: splashpicture.py BMP ICO.

The picture is 200 x 120 pixels, green with a yellow 40 x 30 block in its bottom right corner, so
that a test can tell it apart from the window's grey background and see that it is not upside down.
The icon is a plain 16 x 16 one.
"""
import struct
import sys

WIDTH, HEIGHT = 200, 120
GREEN, YELLOW = (0, 160, 0), (255, 255, 0)


def bitmap_rows():
    rows = []
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up, as BMP stores them
        row = bytearray()
        for x in range(WIDTH):
            r, g, b = YELLOW if x >= WIDTH - 40 and y >= HEIGHT - 30 else GREEN
            row += bytes((b, g, r))
        row += b"\0" * (-len(row) % 4)
        rows.append(bytes(row))
    return b"".join(rows)


def write_bmp(path):
    pixels = bitmap_rows()
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def write_ico(path):
    size = 16
    xor = bytes((0, 0, 200, 255)) * size * size  # BGRA, opaque red
    mask = b"\0" * (4 * size)  # 1 bit per pixel, rows padded to 32 bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = info + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22)
    with open(path, "wb") as f:
        f.write(directory + image)


write_bmp(sys.argv[1])
write_ico(sys.argv[2])
