"""Drawing and image-file helpers for the extension's artwork.

Standard library only. Shapes are sampled 4 x 4 times per pixel, which is
enough anti-aliasing for badges between 16 and 256 pixels.
"""

import math
import struct
import zlib

SAMPLES = 4


def _segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    cx, cy = ax + t * dx, ay + t * dy
    return math.hypot(px - cx, py - cy)


def stroke(points, width):
    """A polyline of the given width, in badge units (the badge is the unit circle)."""
    half = width / 2.0
    segments = list(zip(points, points[1:]))

    def inside(x, y):
        return any(_segment_distance(x, y, a[0], a[1], b[0], b[1]) <= half for a, b in segments)

    return inside


def arc(radius, width, start_degrees, end_degrees):
    """An arc of a ring, counter-clockwise from start to end (y grows downwards)."""
    half = width / 2.0

    def inside(x, y):
        if abs(math.hypot(x, y) - radius) > half:
            return False
        angle = math.degrees(math.atan2(-y, x)) % 360.0
        span = (end_degrees - start_degrees) % 360.0
        return (angle - start_degrees) % 360.0 <= span

    return inside


def triangle(a, b, c):
    def sign(p, q, r):
        return (p[0] - r[0]) * (q[1] - r[1]) - (q[0] - r[0]) * (p[1] - r[1])

    def inside(x, y):
        p = (x, y)
        d1, d2, d3 = sign(p, a, b), sign(p, b, c), sign(p, c, a)
        negative = d1 < 0 or d2 < 0 or d3 < 0
        positive = d1 > 0 or d2 > 0 or d3 > 0
        return not (negative and positive)

    return inside


def union(*shapes):
    return lambda x, y: any(shape(x, y) for shape in shapes)


def draw_badge(size, colour, symbol):
    """An RGBA image (rows of (r, g, b, a)), transparent but for a round badge
    in the lower right corner: a disc of `colour` with a white `symbol`."""
    diameter = size * 0.62
    radius = diameter / 2.0
    centre_x = size - radius - size * 0.02
    centre_y = size - radius - size * 0.02
    rim = 1.0 - max(0.08, 1.2 / radius)  # a thin white rim keeps the badge readable on any icon
    pixels = []
    for row in range(size):
        line = []
        for column in range(size):
            counts = [0, 0, 0]  # rim, disc, symbol
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (column + (sx + 0.5) / SAMPLES - centre_x) / radius
                    y = (row + (sy + 0.5) / SAMPLES - centre_y) / radius
                    r = math.hypot(x, y)
                    if r > 1.0:
                        continue
                    if r > rim:
                        counts[0] += 1
                    elif symbol(x, y):
                        counts[2] += 1
                    else:
                        counts[1] += 1
            covered = sum(counts)
            if covered == 0:
                line.append((0, 0, 0, 0))
                continue
            white = counts[0] + counts[2]
            red = (white * 255 + counts[1] * colour[0]) // covered
            green = (white * 255 + counts[1] * colour[1]) // covered
            blue = (white * 255 + counts[1] * colour[2]) // covered
            alpha = covered * 255 // (SAMPLES * SAMPLES)
            line.append((red, green, blue, alpha))
        pixels.append(line)
    return pixels


def png_bytes(pixels):
    height, width = len(pixels), len(pixels[0])
    raw = b"".join(b"\x00" + bytes(channel for pixel in row for channel in pixel) for row in pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def _and_mask(pixels):
    """1 bit per pixel, bottom-up rows padded to 32 bits: set where transparent."""
    size = len(pixels[0])
    row_bytes = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(row_bytes)
        for column, pixel in enumerate(row):
            if pixel[3] < 128:
                bits[column // 8] |= 0x80 >> (column % 8)
        mask += bits
    return bytes(mask)


def _bitmap_header(size, bit_count, colours_used):
    image_bytes = 0
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bit_count, 0, image_bytes, 0, 0, colours_used, 0)


def dib_32bpp(pixels):
    """An icon image: 32-bit BGRA with alpha, then the AND mask."""
    size = len(pixels)
    colour = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(pixels) for p in row)
    return _bitmap_header(size, 32, 0) + colour + _and_mask(pixels)


def _palette_index(pixel):
    # A 6 x 6 x 6 colour cube; index 0 is black and stands for transparent pixels.
    level = lambda channel: (channel * 5 + 127) // 255
    return 16 + level(pixel[0]) * 36 + level(pixel[1]) * 6 + level(pixel[2])


def dib_8bpp(pixels):
    """An icon image with a 256-entry palette; transparency by the AND mask only."""
    size = len(pixels)
    palette = bytearray(256 * 4)
    for r in range(6):
        for g in range(6):
            for b in range(6):
                index = 16 + r * 36 + g * 6 + b
                palette[index * 4:index * 4 + 4] = bytes((b * 51, g * 51, r * 51, 0))
    row_bytes = ((size + 3) // 4) * 4
    indices = bytearray()
    for row in reversed(pixels):
        line = bytearray(row_bytes)
        for column, pixel in enumerate(row):
            line[column] = _palette_index(pixel) if pixel[3] >= 128 else 0
        indices += line
    return _bitmap_header(size, 8, 256) + bytes(palette) + bytes(indices) + _and_mask(pixels)


def ico_bytes(images):
    """An .ico file from (size, bit_count, data) entries, in the given order."""
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    directory = b""
    body = b""
    for size, bit_count, data in images:
        dimension = 0 if size >= 256 else size
        colours = 0
        directory += struct.pack("<BBBBHHII", dimension, dimension, colours, 0, 1, bit_count, len(data), offset)
        body += data
        offset += len(data)
    return header + directory + body
