#!/usr/bin/env python3
"""Draws the send command's icon for Windows 11's own context menu and the
logos of the Windows 11 package, from the menu bitmap's art (a blue cloud with
a white arrow into it), on a transparent background.

Usage: make_command_icon.py OUTPUT.ico LOGO_DIR

The icon holds 16, 20, 24, 32 and 48 pixels, 32 bits with alpha. LOGO_DIR
receives Square44x44Logo.png, Square150x150Logo.png and StoreLogo.png (50 px).
"""
import os
import sys

import badge_art as art
import make_menu_bitmap as menu

ICON_SIZES = [16, 20, 24, 32, 48]
LOGOS = [("Square44x44Logo.png", 44), ("Square150x150Logo.png", 150), ("StoreLogo.png", 50)]


def inside_arrow(u, v):
    """The bitmap's arrow in its 16-unit grid, as a continuous shape."""
    if 7.0 <= u < 9.0 and 4.0 <= v < 9.0:
        return True
    return 9.0 <= v < 12.0 and abs(u - 8.0) <= 12.0 - v


def draw(size):
    """Rows of (r, g, b, a): the bitmap's cloud and arrow scaled to `size`."""
    scale = 16.0 / size
    rows = []
    for row in range(size):
        line = []
        for column in range(size):
            cloud = arrow = 0
            for sy in range(art.SAMPLES):
                for sx in range(art.SAMPLES):
                    u = (column + (sx + 0.5) / art.SAMPLES) * scale
                    v = (row + (sy + 0.5) / art.SAMPLES) * scale
                    # The bitmap's cloud test takes a pixel index and samples its centre.
                    if not menu.inside_cloud(u - 0.5, v - 0.5):
                        continue
                    if inside_arrow(u, v):
                        arrow += 1
                    else:
                        cloud += 1
            covered = cloud + arrow
            if covered == 0:
                line.append((0, 0, 0, 0))
                continue
            colour = tuple((arrow * a + cloud * c) // covered for a, c in zip(menu.ARROW, menu.CLOUD))
            line.append(colour + (covered * 255 // (art.SAMPLES * art.SAMPLES),))
        rows.append(line)
    return rows


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    os.makedirs(os.path.dirname(os.path.abspath(argv[1])), exist_ok=True)
    images = [(size, 32, art.dib_32bpp(draw(size))) for size in ICON_SIZES]
    with open(argv[1], "wb") as out:
        out.write(art.ico_bytes(images))
    os.makedirs(argv[2], exist_ok=True)
    for name, size in LOGOS:
        with open(os.path.join(argv[2], name), "wb") as out:
            out.write(art.png_bytes(draw(size)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
