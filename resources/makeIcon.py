#!/usr/bin/env python3
"""Writes Logsmith.ico: a 32x32 and a 16x16 image, 16 colours each (4 bits per pixel).

The picture is a log page with ruled lines and a pen nib; run this script again after changing
it and commit the result.
"""
import struct
import sys

# The standard 16-colour palette (B, G, R, 0).
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128),
    (128, 128, 0), (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255),
    (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255),
]
BLACK, DARK_BLUE, GREY, SILVER, RED, WHITE, BLUE = 0, 4, 8, 7, 9, 15, 12
TRANSPARENT = None


def picture(size):
    """Rows top to bottom of palette indexes, None where transparent."""
    s = size / 32.0
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            px, py = x / s, y / s
            colour = TRANSPARENT
            if 5 <= px < 25 and 2 <= py < 30:  # the page
                colour = WHITE
                if px < 6 or px >= 24 or py < 3 or py >= 29:
                    colour = GREY
                elif int(py) % 5 == 2 and 8 <= px < 22:
                    colour = BLUE if size >= 32 else DARK_BLUE
            if 18 <= px < 30 and abs((px - 18) - (30 - py) * 0.9) < 1.6 and py >= 16:  # pen
                colour = RED
            if 17 <= px < 20 and 28 <= py < 31:  # nib
                colour = BLACK
            row.append(colour)
        rows.append(row)
    return rows


def bitmap(size):
    rows = picture(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (b, g, r) in PALETTE)
    xor = b''
    and_mask = b''
    stride4 = ((size * 4 + 31) // 32) * 4
    stride1 = ((size + 31) // 32) * 4
    for row in reversed(rows):  # bottom-up
        nibbles = [0 if c is None else c for c in row]
        line = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor += line.ljust(stride4, b'\0')
        bits = 0
        mask = bytearray()
        for i, c in enumerate(row):
            bits = (bits << 1) | (1 if c is None else 0)
            if i % 8 == 7:
                mask.append(bits)
                bits = 0
        and_mask += bytes(mask).ljust(stride1, b'\0')
    return header + palette + xor + and_mask


def icon(sizes):
    images = [bitmap(size) for size in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b''.join(images)


if __name__ == '__main__':
    target = sys.argv[1] if len(sys.argv) > 1 else 'Logsmith.ico'
    with open(target, 'wb') as f:
        f.write(icon([32, 16]))
