#!/usr/bin/env python3
"""Draws the wizard status pages' icons: working (a blue disc with a white clock hand) and done (a
green disc with a white tick), 16 and 32 pixels each.

Run from the top of the tree; writes wizard/res/art/working.ico and wizard/res/art/done.ico. The
shapes are plain geometry, so the files are the same on every run.
"""
import struct
import sys


def near_segment(px, py, ax, ay, bx, by, width):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / float(dx * dx + dy * dy)))
    qx, qy = ax + t * dx, ay + t * dy
    return (px - qx) ** 2 + (py - qy) ** 2 <= width * width


def pixel(kind, x, y, size):
    c = (size - 1) / 2.0
    if (x - c) ** 2 + (y - c) ** 2 > (size / 2.0) ** 2:
        return (0, 0, 0, 0)
    s = size / 32.0
    w = 2.0 * s
    if kind == "working":
        if near_segment(x, y, c, c, c, c - 10 * s, w) or near_segment(x, y, c, c, c + 8 * s, c, w):
            return (255, 255, 255, 255)
        return (0xD0, 0x78, 0x20, 255)
    if near_segment(x, y, c - 8 * s, c, c - 2 * s, c + 7 * s, w) or near_segment(
            x, y, c - 2 * s, c + 7 * s, c + 9 * s, c - 7 * s, w):
        return (255, 255, 255, 255)
    return (0x30, 0xA0, 0x30, 255)


def icon_image(kind, size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, size * size * 4, 0, 0, 0, 0)
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        rows.append(b"".join(struct.pack("BBBB", *pixel(kind, x, y, size)) for x in range(size)))
    mask_row = b"\0" * (((size + 31) // 32) * 4)
    return header + b"".join(rows) + mask_row * size


def write_ico(path, kind, sizes):
    images = [icon_image(kind, s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    top = sys.argv[1] if len(sys.argv) > 1 else "."
    write_ico(f"{top}/wizard/res/art/working.ico", "working", [16, 32])
    write_ico(f"{top}/wizard/res/art/done.ico", "done", [16, 32])
