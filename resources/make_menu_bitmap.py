#!/usr/bin/env python3
"""Draws the context-menu item's picture: a 16 x 16, 24 bits per pixel BMP
(a blue cloud with a white arrow into it), and optionally a PNG preview.

Usage: make_menu_bitmap.py OUTPUT.bmp [PREVIEW.png]
"""
import struct
import sys
import zlib

SIZE = 16
BACKGROUND = (255, 255, 255)
CLOUD = (37, 118, 214)
ARROW = (255, 255, 255)


def inside_cloud(x, y):
    cx, cy = x + 0.5, y + 0.5
    lobes = ((5.0, 9.0, 3.6), (10.5, 8.0, 4.2), (8.0, 6.0, 3.4))
    if any((cx - lx) ** 2 + (cy - ly) ** 2 <= r * r for lx, ly, r in lobes):
        return cy <= 12.5
    return 2.0 <= cx <= 14.5 and 9.0 <= cy <= 12.5


def inside_arrow(x, y):
    # Shaft down the middle, head pointing down into the cloud.
    if 7 <= x <= 8 and 4 <= y <= 8:
        return True
    return 9 <= y <= 11 and abs(x - 7.5) <= 11 - y + 0.5


def pixels():
    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            if inside_cloud(x, y):
                row.append(ARROW if inside_arrow(x, y) else CLOUD)
            else:
                row.append(BACKGROUND)
        rows.append(row)
    return rows


def bmp_bytes(rows):
    stride = (SIZE * 3 + 3) & ~3
    image = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        image += line
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    offset = 14 + len(info)
    header = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    return header + info + bytes(image)


def png_bytes(rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in rows)
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")


def main(argv):
    if len(argv) not in (2, 3):
        sys.stderr.write(__doc__)
        return 2
    rows = pixels()
    with open(argv[1], "wb") as out:
        out.write(bmp_bytes(rows))
    if len(argv) == 3:
        with open(argv[2], "wb") as out:
            out.write(png_bytes(rows))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
