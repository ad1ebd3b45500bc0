#!/usr/bin/env python3
"""Draws the version utility's icon (an "i" badge on a dark tile) and writes it as
a Windows icon file with 16, 32 and 48 pixel images: python3 make_icon.py OUT.ico"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
from icon_file import write_icon  # noqa: E402


def draw(size):
    s = size / 32.0
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            fx, fy = (x + 0.5) / s, (y + 0.5) / s
            # Rounded dark tile.
            r = 5.0
            cx = min(max(fx, r), 32 - r)
            cy = min(max(fy, r), 32 - r)
            inside = (fx - cx) ** 2 + (fy - cy) ** 2 <= r * r and 0.5 <= fx <= 31.5 and 0.5 <= fy <= 31.5
            if not inside:
                row.append((0, 0, 0, 0))
                continue
            colour = (32, 36, 44, 255)
            # A cyan disc with a white "i".
            d2 = (fx - 16) ** 2 + (fy - 16) ** 2
            if d2 <= 11.5 ** 2:
                colour = (0, 160, 205, 255)
                if (fx - 16) ** 2 + (fy - 9.5) ** 2 <= 2.2 ** 2:
                    colour = (240, 244, 248, 255)
                if abs(fx - 16) <= 1.8 and 13 <= fy <= 23.5:
                    colour = (240, 244, 248, 255)
            row.append(colour)
        pixels.append(row)
    return pixels


write_icon(sys.argv[1], draw)
