#!/usr/bin/env python3
"""Draws PellmorWin.ico: an archive box squeezed between two arrows, at 16, 32 and 48 pixels.

    python3 app/res/make-icon.py            # rewrites app/res/PellmorWin.ico
    python3 app/res/make-icon.py OUT.ico

Every size is drawn from the same shapes in unit coordinates, with 4 x 4 samples a pixel for soft edges.
The 16 and 32 pixel images are stored as 32-bit bitmaps (what every icon loader reads); the 48 pixel one as
PNG, which keeps the file small. Only the Python standard library is used, so the output is the same anywhere.
"""
import os
import struct
import sys
import zlib

SAMPLES = 4

ARROW = (0x1E, 0x6F, 0xD0)
ARROW_EDGE = (0x0E, 0x3A, 0x78)
BOX = (0xD9, 0xA2, 0x4A)
BOX_LID = (0xB0, 0x7A, 0x28)
BOX_EDGE = (0x5A, 0x3A, 0x10)
SLOT = (0x4A, 0x2E, 0x0C)


def inside_rect(x, y, l, t, r, b):
    return l <= x < r and t <= y < b


def inside_arrow(x, y, pointing_right, grow):
    """An arrow on the left half pointing right (or mirrored on the right half pointing left)."""
    if not pointing_right:
        x = 1.0 - x
    # Shaft from 0.03 to 0.17, head from 0.15 to 0.31 (the tip touches the box's edge).
    shaft = inside_rect(x, y, 0.03 - grow, 0.42 - grow, 0.17, 0.58 + grow)
    head_l, tip = 0.14 - grow, 0.31 + grow
    if head_l <= x <= tip:
        half = (0.22 + grow) * (tip - x) / (tip - head_l)
        return shaft or abs(y - 0.5) <= half
    return shaft


def colour_at(x, y):
    """Colour (r, g, b) or None for transparent at a point of the unit square."""
    # The box: narrower than it is tall, as if pressed from both sides.
    if inside_rect(x, y, 0.33, 0.12, 0.67, 0.90):
        if not inside_rect(x, y, 0.36, 0.15, 0.64, 0.87):
            return BOX_EDGE
        if y < 0.30:
            return BOX_LID if y < 0.285 else BOX_EDGE
        if inside_rect(x, y, 0.43, 0.40, 0.57, 0.47):
            return SLOT
        return BOX
    for right in (True, False):
        if inside_arrow(x, y, right, 0.0):
            return ARROW
        if inside_arrow(x, y, right, 0.03):
            return ARROW_EDGE
    return None


def render(size):
    """Rows of (r, g, b, a), top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at((px + (sx + 0.5) / SAMPLES) / size, (py + (sy + 0.5) / SAMPLES) / size)
                    if c:
                        acc[0] += c[0]
                        acc[1] += c[1]
                        acc[2] += c[2]
                        acc[3] += 1
            n = acc[3]
            if n == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((acc[0] // n, acc[1] // n, acc[2] // n, 255 * n // (SAMPLES * SAMPLES)))
        rows.append(row)
    return rows


def bitmap_image(size, rows):
    """BITMAPINFOHEADER, BGRA pixels bottom row first, then the 1-bit AND mask (unused with alpha)."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_row)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def png_image(size, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                              "PellmorWin.ico")
    sizes = (16, 32, 48)
    images = []
    for size in sizes:
        rows = render(size)
        images.append(png_image(size, rows) if size > 32 else bitmap_image(size, rows))
    data = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, image in zip(sizes, images):
        data += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    data += b"".join(images)
    with open(out, "wb") as f:
        f.write(data)
    print("%s: %d bytes" % (out, len(data)))


if __name__ == "__main__":
    main()
