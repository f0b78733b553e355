"""Writes the three overlay icons (and PNG previews of them).

    python3 make_icons.py OUTPUT_DIR

Each icon holds 48, 32 and 16 pixels at 8 bits per pixel, then 256, 128, 48,
32 and 16 pixels at 32 bits with alpha (256 stored as PNG, as Windows expects).
"""

import os
import sys

import badge_art as art

GREEN = (46, 160, 67)
BLUE = (33, 118, 214)
RED = (214, 48, 49)

TICK = art.stroke([(-0.45, 0.02), (-0.12, 0.36), (0.48, -0.32)], 0.24)
CROSS = art.union(art.stroke([(-0.36, -0.36), (0.36, 0.36)], 0.24),
                  art.stroke([(-0.36, 0.36), (0.36, -0.36)], 0.24))
# Two arrows chasing each other round the centre.
ARROWS = art.union(
    art.arc(0.48, 0.17, 20, 160),
    art.triangle((-0.70, -0.05), (-0.26, -0.05), (-0.48, 0.28)),
    art.arc(0.48, 0.17, 200, 340),
    art.triangle((0.70, 0.05), (0.26, 0.05), (0.48, -0.28)),
)

ICONS = [
    ("synchronised", GREEN, TICK),
    ("pending", BLUE, ARROWS),
    ("failed", RED, CROSS),
]

IMAGES = [(48, 8), (32, 8), (16, 8), (256, 32), (128, 32), (48, 32), (32, 32), (16, 32)]


def main(output_dir):
    os.makedirs(output_dir, exist_ok=True)
    for name, colour, symbol in ICONS:
        drawn = {size: art.draw_badge(size, colour, symbol) for size in {size for size, _ in IMAGES}}
        images = []
        for size, bits in IMAGES:
            if bits == 8:
                data = art.dib_8bpp(drawn[size])
            elif size == 256:
                data = art.png_bytes(drawn[size])
            else:
                data = art.dib_32bpp(drawn[size])
            images.append((size, bits, data))
        with open(os.path.join(output_dir, "overlay_%s.ico" % name), "wb") as icon:
            icon.write(art.ico_bytes(images))
        with open(os.path.join(output_dir, "overlay_%s_preview.png" % name), "wb") as preview:
            preview.write(art.png_bytes(drawn[256]))


if __name__ == "__main__":
    main(sys.argv[1])
