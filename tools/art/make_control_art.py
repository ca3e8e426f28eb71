#!/usr/bin/env python3
"""Draws the browser control's artwork: its icon (32 pixels) and its toolbox bitmap (16 by 15).

Run from the top of the tree; writes control/res/control.ico and control/res/toolbox.bmp. Both
show the control's own drawing, a dark ellipse on white, so the files are the same on every run.
"""
import struct


def in_ellipse(x, y, width, height):
    cx, cy = (width - 1) / 2.0, (height - 1) / 2.0
    rx, ry = width / 2.0 - 1, height / 2.0 - 1
    return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def pixel(x, y, width, height):
    """(b, g, r, a): a blue ellipse with a dark rim on white."""
    if not in_ellipse(x, y, width, height):
        return (255, 255, 255, 255)
    if not in_ellipse(x, y, width - 4, height - 4) or x < 2 or y < 2:
        return (0x40, 0x20, 0x20, 255)
    return (0xD0, 0x80, 0x30, 255)


def icon(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, size * size * 4, 0, 0, 0, 0)
    rows = [b"".join(struct.pack("BBBB", *pixel(x, y, size, size)) for x in range(size))
            for y in range(size - 1, -1, -1)]
    mask = (b"\0" * (((size + 31) // 32) * 4)) * size
    image = header + b"".join(rows) + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22)
    return directory + image


def bitmap(width, height):
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for y in range(height - 1, -1, -1):
        row = b"".join(struct.pack("BBB", *pixel(x, y, width, height)[:3]) for x in range(width))
        rows.append(row + b"\0" * (stride - len(row)))
    data = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return head + info + data


def main():
    with open("control/res/control.ico", "wb") as f:
        f.write(icon(32))
    with open("control/res/toolbox.bmp", "wb") as f:
        f.write(bitmap(16, 15))


if __name__ == "__main__":
    main()
