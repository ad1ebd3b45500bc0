#!/usr/bin/env python3
"""Draws the settings panel's icon (a fader on a dark tile) and writes it as a
Windows icon file with 16, 32 and 48 pixel images: python3 make_icon.py OUT.ico"""
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
            # Three fader slots with their caps at different heights.
            for slot_x, cap_y in ((9, 19), (16, 10), (23, 15)):
                if abs(fx - slot_x) <= 1.0 and 5 <= fy <= 27:
                    colour = (90, 98, 112, 255)
                if abs(fx - slot_x) <= 3.5 and abs(fy - cap_y) <= 2.0:
                    colour = (0, 190, 230, 255) if slot_x == 16 else (225, 230, 235, 255)
            row.append(colour)
        pixels.append(row)
    return pixels


write_icon(sys.argv[1], draw)
