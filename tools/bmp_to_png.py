"""Turns the shell host's 32-bit BMP listing into a PNG (standard library only).

    python3 bmp_to_png.py LISTING.bmp LISTING.png
"""

import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources"))
import badge_art  # noqa: E402


def read_bmp(path):
    with open(path, "rb") as bmp:
        data = bmp.read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 32:
        raise SystemExit("expected a 32-bit BMP, got %d bits" % bits)
    top_down = height < 0
    height = abs(height)
    rows = []
    for row in range(height):
        start = offset + row * width * 4
        line = []
        for column in range(width):
            b, g, r, _ = data[start + column * 4:start + column * 4 + 4]
            line.append((r, g, b, 255))  # GDI leaves alpha unset: the picture is opaque
        rows.append(line)
    return rows if top_down else rows[::-1]


def main(source, target):
    with open(target, "wb") as png:
        png.write(badge_art.png_bytes(read_bmp(source)))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
