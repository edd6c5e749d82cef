#!/usr/bin/env python3
"""Draws the program icon (a white quill-stroke "Q" on a slate-blue tile)
and writes it as a Windows .ico with 32-bit images of several sizes.

    make_icon.py OUTPUT.ico

Pure standard library: each image is a BITMAPINFOHEADER, bottom-up BGRA
pixels and a 1-bit AND mask, as the icon loader expects."""
import math
import struct
import sys

SIZES = (16, 24, 32, 48, 64)
SUPERSAMPLE = 4

TILE = (0x2F, 0x4F, 0x8F)    # slate blue
MARK = (0xFF, 0xFF, 0xFF)    # white
ACCENT = (0xF2, 0xB1, 0x34)  # amber nib


def coverage(u, v):
    """What covers the point (u, v) in the unit square: None, 'tile', 'mark' or 'accent'."""
    # Rounded tile.
    r = 0.18
    dx = max(abs(u - 0.5) - (0.5 - r), 0.0)
    dy = max(abs(v - 0.5) - (0.5 - r), 0.0)
    if dx * dx + dy * dy > r * r or not (0.0 <= u <= 1.0 and 0.0 <= v <= 1.0):
        return None
    # Ring of the Q.
    cu, cv = 0.47, 0.46
    d = math.hypot(u - cu, v - cv)
    if 0.20 <= d <= 0.30:
        return 'mark'
    # The tail: a slanted bar from the ring to the lower right, ending in a nib.
    tu, tv = 0.60, 0.60
    eu, ev = 0.84, 0.86
    lu, lv = eu - tu, ev - tv
    length = math.hypot(lu, lv)
    t = ((u - tu) * lu + (v - tv) * lv) / (length * length)
    if 0.0 <= t <= 1.0:
        dist = abs((u - tu) * lv - (v - tv) * lu) / length
        if dist <= 0.055 * (1.0 - 0.6 * t):
            return 'accent' if t > 0.72 else 'mark'
    return 'tile'


def render(size):
    """Returns rows top-down of (b, g, r, a) tuples."""
    colours = {'tile': TILE, 'mark': MARK, 'accent': ACCENT}
    rows = []
    n = SUPERSAMPLE
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0]
            alpha = 0
            for sy in range(n):
                for sx in range(n):
                    what = coverage((x + (sx + 0.5) / n) / size, (y + (sy + 0.5) / n) / size)
                    if what is None:
                        continue
                    alpha += 1
                    for i, c in enumerate(colours[what]):
                        acc[i] += c
            if alpha == 0:
                row.append((0, 0, 0, 0))
            else:
                r, g, b = (int(round(c / alpha)) for c in acc)
                row.append((b, g, r, int(round(255 * alpha / (n * n)))))
        rows.append(row)
    return rows


def dib(size):
    rows = render(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes(c for px in row for c in px) for row in reversed(rows))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, px in enumerate(row):
            if px[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: make_icon.py OUTPUT.ico')
    images = [dib(s) for s in SIZES]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    out += b''.join(images)
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
