#!/usr/bin/env python3
"""Draws the uninstaller's icons, banner and cursor (standard library only); run it in this folder.

app.ico (32 and 16 pixels), step_done.ico and step_failed.ico (16 pixels), banner.bmp (24-bit)
and hand.cur (32 pixels, hot spot at the finger tip).
"""
import struct


def image(size, paint):
    """Rows top first of (r, g, b, a) from paint(x, y) on a size x size grid scaled to 32."""
    scale = 32.0 / size
    return [[paint((x + 0.5) * scale, (y + 0.5) * scale) for x in range(size)] for y in range(size)]


def dib(rows):
    """The BITMAPINFOHEADER, BGRA pixels (bottom row first) and AND mask of an icon image."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def icon_file(images, kind=1, hotspot=(0, 0)):
    out = struct.pack("<HHH", 0, kind, len(images))
    offset = 6 + 16 * len(images)
    blobs = []
    for rows in images:
        blob = dib(rows)
        size = len(rows)
        a, b = (1, 32) if kind == 1 else hotspot
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, a, b, len(blob), offset)
        offset += len(blob)
        blobs.append(blob)
    return out + b"".join(blobs)


def inside_circle(x, y, r=15.0):
    return (x - 16) ** 2 + (y - 16) ** 2 <= r * r


def near_segment(x, y, a, b, width):
    (ax, ay), (bx, by) = a, b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / float(dx * dx + dy * dy)))
    px, py = ax + t * dx, ay + t * dy
    return (x - px) ** 2 + (y - py) ** 2 <= width * width


def done(x, y):
    if not inside_circle(x, y):
        return (0, 0, 0, 0)
    if near_segment(x, y, (8, 17), (14, 23), 2.6) or near_segment(x, y, (14, 23), (25, 10), 2.6):
        return (255, 255, 255, 255)
    return (46, 158, 62, 255)


def failed(x, y):
    if not inside_circle(x, y):
        return (0, 0, 0, 0)
    if near_segment(x, y, (10, 10), (22, 22), 2.6) or near_segment(x, y, (22, 10), (10, 22), 2.6):
        return (255, 255, 255, 255)
    return (200, 48, 44, 255)


def app(x, y):
    if not (1 <= x <= 31 and 1 <= y <= 31):
        return (0, 0, 0, 0)
    blue = (31, 95, 168, 255)
    white = (255, 255, 255, 255)
    if 7 <= x <= 25 and 8 <= y <= 11:  # the bin's lid
        return white
    if 13 <= x <= 19 and 5 <= y <= 8:  # its handle
        return white
    if 9 <= x <= 23 and 12 <= y <= 27:
        return blue if (12 <= x <= 14 or 18 <= x <= 20) and 15 <= y <= 24 else white
    return blue


def hand(x, y):
    black, white = (0, 0, 0, 255), (255, 255, 255, 255)
    shapes = [((11, 2), (15, 19)), ((15, 11), (27, 27)), ((7, 16), (11, 25))]
    for (x0, y0), (x1, y1) in shapes:
        if x0 <= x <= x1 and y0 <= y <= y1:
            edge = x < x0 + 1 or x > x1 - 1 or y < y0 + 1 or y > y1 - 1
            return black if edge else white
    return (0, 0, 0, 0)


def banner(width, height):
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            t = x / float(width - 1)
            r, g, b = int(31 + t * 64), int(95 + t * 65), int(168 + t * 56)
            # A light stripe: the relay's path from the computer to the phone.
            if abs(y - height // 2) <= 2 and 40 <= x <= width - 40:
                r, g, b = 255, 255, 255
            if (x - 40) ** 2 + (y - height // 2) ** 2 <= 144 or (x - width + 40) ** 2 + (y - height // 2) ** 2 <= 144:
                r, g, b = 255, 255, 255
            row.append((r, g, b))
        rows.append(row)
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):
        line = b"".join(bytes((b, g, r)) for (r, g, b) in row)
        data += line + bytes(stride - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(header) + len(data), 0, 0, 54) + header + bytes(data)


def write(name, data):
    with open(name, "wb") as f:
        f.write(data)


write("app.ico", icon_file([image(32, app), image(16, app)]))
write("step_done.ico", icon_file([image(16, done)]))
write("step_failed.ico", icon_file([image(16, failed)]))
write("hand.cur", icon_file([image(32, hand)], kind=2, hotspot=(12, 3)))
write("banner.bmp", banner(394, 60))
