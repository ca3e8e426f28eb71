#!/usr/bin/env python3
"""Draws the small dialogs' artwork: the error icon (16 and 32 pixels) and the status picture.

Run from the top of the tree; writes wizard/res/art/error.ico and wizard/res/art/status.bmp. The
shapes are plain geometry, so the files are the same on every run.
"""
import struct
import sys


def error_pixel(x, y, size):
    """A red disc with a white cross, as (b, g, r, a)."""
    c = (size - 1) / 2.0
    dx, dy = x - c, y - c
    if dx * dx + dy * dy > (size / 2.0) ** 2:
        return (0, 0, 0, 0)
    w = size / 10.0
    lim = size * 0.28
    if abs(dx) <= lim and abs(dy) <= lim and (abs(dx - dy) <= w or abs(dx + dy) <= w):
        return (255, 255, 255, 255)
    return (0x28, 0x28, 0xC6, 255)


def icon_image(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, size * size * 4, 0, 0, 0, 0)
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        rows.append(b"".join(struct.pack("BBBB", *error_pixel(x, y, size)) for x in range(size)))
    mask_row = b"\0" * (((size + 31) // 32) * 4)
    return header + b"".join(rows) + mask_row * size


def write_ico(path, sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


def status_pixel(x, y):
    """A card on the dialog's grey: blue body, a gold stripe and a white line."""
    if 6 <= x <= 41 and 10 <= y <= 37:
        if 12 <= x <= 35 and 18 <= y <= 22:
            return (0x4F, 0xD5, 0xFF)
        if 12 <= x <= 28 and 26 <= y <= 29:
            return (255, 255, 255)
        return (0xC0, 0x65, 0x15)
    return (0xC0, 0xC0, 0xC0)


def write_bmp(path, width, height):
    row_bytes = (width * 3 + 3) // 4 * 4
    pixels = b""
    for y in range(height - 1, -1, -1):
        row = b"".join(struct.pack("BBB", *status_pixel(x, y)) for x in range(width))
        pixels += row + b"\0" * (row_bytes - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(file_header + info + pixels)


if __name__ == "__main__":
    top = sys.argv[1] if len(sys.argv) > 1 else "."
    write_ico(f"{top}/wizard/res/art/error.ico", [16, 32])
    write_bmp(f"{top}/wizard/res/art/status.bmp", 48, 48)
