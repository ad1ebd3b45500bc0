"""Writes a Windows icon file (.ico) of 16, 32 and 48 pixel 32-bit images, for the
icon generators of the two programs (panel/make_icon.py, version/make_icon.py).
draw(size) returns rows of (r, g, b, a) pixels, top row first."""
import struct

SIZES = [16, 32, 48]


def _dib(pixels, size):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    # Bottom-up rows, BGRA, then the AND mask (set where fully transparent).
    colour = b''.join(struct.pack('<BBBB', b, g, r, a) for row in reversed(pixels) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b''
    for row in reversed(pixels):
        data = bytearray(mask_row)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                data[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(data)
    return header + colour + mask


def write_icon(path, draw):
    images = [_dib(draw(n), n) for n in SIZES]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, image in zip(SIZES, images):
        out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    out += b''.join(images)
    with open(path, 'wb') as f:
        f.write(out)
