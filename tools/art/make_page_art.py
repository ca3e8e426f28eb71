#!/usr/bin/env python3
"""Draws the wizard pages' icons: the status pages' working (a blue disc with a white clock hand)
and done (a green disc with a white tick), 16 and 32 pixels each, and the media page's five media
(hard disk, removable disk, security token, IC card, secure disk), 32 pixels.

Run from the top of the tree; writes wizard/res/art/working.ico, done.ico and medium_*.ico. The
shapes are plain geometry, so the files are the same on every run.
"""
import struct
import sys


def near_segment(px, py, ax, ay, bx, by, width):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / float(dx * dx + dy * dy)))
    qx, qy = ax + t * dx, ay + t * dy
    return (px - qx) ** 2 + (py - qy) ** 2 <= width * width


def inside(x, y, x0, y0, x1, y1):
    return x0 <= x <= x1 and y0 <= y <= y1


def medium_pixel(kind, x, y):
    """The media icons on a 32-pixel grid, as (b, g, r, a); transparent outside the shape."""
    clear = (0, 0, 0, 0)
    edge = (0x40, 0x40, 0x40, 255)
    if kind in ("hdd", "securedisk"):
        if kind == "securedisk" and inside(x, y, 12, 8, 19, 20):
            if inside(x, y, 12, 13, 19, 20):
                return (0x20, 0xC0, 0xF0, 255)  # the padlock's body
            if (inside(x, y, 12, 8, 13, 13) or inside(x, y, 18, 8, 19, 13) or inside(x, y, 12, 8, 19, 9)):
                return (0x30, 0x30, 0x30, 255)  # its shackle
        if not inside(x, y, 2, 10, 29, 24):
            return clear
        if x in (2, 29) or y in (10, 24):
            return edge
        if inside(x, y, 24, 20, 26, 22):
            return (0x30, 0xD0, 0x30, 255)  # the light
        return (0x90, 0x70, 0x30, 255) if kind == "securedisk" else (0xB8, 0xB8, 0xB8, 255)
    if kind == "removable":
        if inside(x, y, 23, 13, 29, 21):
            return edge if x == 29 or y in (13, 21) else (0xD8, 0xD8, 0xD8, 255)
        if not inside(x, y, 3, 10, 23, 24):
            return clear
        return edge if x == 3 or y in (10, 24) else (0xC0, 0x60, 0x20, 255)
    if kind == "token":
        dx, dy = x - 9.5, y - 16
        r2 = dx * dx + dy * dy
        if r2 <= 2.5 * 2.5:
            return clear  # the ring's hole
        if r2 <= 7 * 7:
            return (0x20, 0xA8, 0xE0, 255)
        if inside(x, y, 15, 14, 29, 18) or inside(x, y, 23, 18, 25, 22) or inside(x, y, 27, 18, 29, 23):
            return (0x20, 0xA8, 0xE0, 255)
        return clear
    # the IC card
    if not inside(x, y, 1, 6, 30, 26):
        return clear
    if x in (1, 30) or y in (6, 26):
        return edge
    if inside(x, y, 5, 11, 13, 19):
        return (0x30, 0xB0, 0xE0, 255) if (x - 5) % 4 and (y - 11) % 4 else (0x20, 0x70, 0x90, 255)
    return (0xF0, 0xE8, 0xE0, 255)


def pixel(kind, x, y, size):
    if kind not in ("working", "done"):
        return medium_pixel(kind, x, y)
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
    for medium in ("hdd", "removable", "token", "card", "securedisk"):
        write_ico(f"{top}/wizard/res/art/medium_{medium}.ico", medium, [32])
