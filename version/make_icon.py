#!/usr/bin/env python3
"""Draws the version utility's icon (an "i" badge on a dark tile) and writes it as
a Windows icon file with 16, 32 and 48 pixel images: python3 make_icon.py OUT.ico"""
import struct
import sys


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


def dib(size):
    pixels = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b''.join(struct.pack('<BBBB', b, g, r, a) for row in reversed(pixels) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b''
    for row in reversed(pixels):
        bits = 0
        data = bytearray(mask_row)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                data[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(data)
    return header + colour + mask


def main():
    sizes = [16, 32, 48]
    images = [dib(n) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, image in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    out += b''.join(images)
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


main()
