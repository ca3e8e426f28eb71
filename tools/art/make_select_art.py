#!/usr/bin/env python3
"""Draws the certificate selection dialog's artwork: the six media pictures (48 and 16 pixels),
the valid row's picture (the expired row shows the viewer's not-valid one), the renewal-link picture of the expiry tip, the banner and
the registration-authority button.

Run from the top of the tree; writes into wizard/res/art/. The shapes are plain geometry, so the
files are the same on every run.
"""
import struct

# Body colour (b, g, r) and the shape of each medium's picture.
MEDIA = {
    "media_token": ((0x30, 0x90, 0x30), "key"),
    "media_card": ((0xC0, 0x65, 0x15), "card"),
    "media_phone": ((0x50, 0x50, 0x50), "phone"),
    "media_securedisk": ((0x20, 0x80, 0xC0), "disk"),
    "media_removable": ((0x90, 0x40, 0x90), "stick"),
    "media_harddisk": ((0x70, 0x70, 0x70), "disk"),
}


def shape_pixel(shape, colour, x, y, size):
    u, v = x / float(size), y / float(size)
    inside = {
        "key": (0.15 <= u <= 0.85 and 0.35 <= v <= 0.65) or ((u - 0.3) ** 2 + (v - 0.5) ** 2 < 0.06),
        "card": 0.1 <= u <= 0.9 and 0.2 <= v <= 0.8,
        "phone": 0.28 <= u <= 0.72 and 0.08 <= v <= 0.92,
        "disk": 0.1 <= u <= 0.9 and 0.25 <= v <= 0.75,
        "stick": 0.3 <= u <= 0.7 and 0.1 <= v <= 0.9,
    }[shape]
    if not inside:
        return (0, 0, 0, 0)
    if shape == "card" and 0.2 <= u <= 0.4 and 0.35 <= v <= 0.55:
        return (0x4F, 0xD5, 0xFF, 255)
    if shape == "phone" and 0.34 <= u <= 0.66 and 0.16 <= v <= 0.76:
        return (0xF0, 0xE0, 0xC0, 255)
    if shape == "disk" and 0.7 <= u <= 0.8 and 0.55 <= v <= 0.65:
        return (0x40, 0xFF, 0x40, 255)
    return colour + (255,)


def disc_pixel(colour, x, y, size, mark):
    c = (size - 1) / 2.0
    dx, dy = x - c, y - c
    if dx * dx + dy * dy > (size / 2.0) ** 2:
        return (0, 0, 0, 0)
    w = max(size / 9.0, 1.0)
    if mark == "check" and ((abs(dy - dx * 0.9 - size * 0.05) <= w and dx > -size * 0.05) or
                            (abs(dy + dx - size * 0.05) <= w and dx <= 0 and dx > -size * 0.3)):
        return (255, 255, 255, 255)
    if mark == "arrow" and abs(dy) <= w and -size * 0.3 <= dx <= size * 0.3:
        return (255, 255, 255, 255)
    return colour + (255,)


def icon_image(size, pixel):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, size * size * 4, 0, 0, 0, 0)
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        rows.append(b"".join(struct.pack("BBBB", *pixel(x, y, size)) for x in range(size)))
    # The AND mask is what a 16-bit image list keeps of the transparency: 1 where the picture
    # has no pixel.
    stride = ((size + 31) // 32) * 4
    mask = b""
    for y in range(size - 1, -1, -1):
        row = bytearray(stride)
        for x in range(size):
            if pixel(x, y, size)[3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(row)
    return header + b"".join(rows) + mask


def write_ico(path, sizes, pixel):
    images = [icon_image(s, pixel) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


def write_bmp(path, width, height, pixel):
    row_bytes = (width * 3 + 3) // 4 * 4
    pixels = b""
    for y in range(height - 1, -1, -1):
        row = b"".join(struct.pack("BBB", *pixel(x, y)) for x in range(width))
        pixels += row + b"\0" * (row_bytes - len(row))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def banner_pixel(x, y):
    """A blue band fading to white with a gold stripe near its foot."""
    if 56 <= y <= 59:
        return (0x4F, 0xD5, 0xFF)
    t = x / 430.0
    return (int(0xC0 + 0x3F * t), int(0x65 + 0x9A * t), int(0x15 + 0xEA * t))


def button_pixel(x, y):
    if x in (0, 63) or y in (0, 35):
        return (0x80, 0x40, 0x10)
    return (0xF0, 0xE8, 0xE0)


def main():
    for name, (colour, shape) in MEDIA.items():
        write_ico("wizard/res/art/%s.ico" % name, [48, 16],
                  lambda x, y, s, c=colour, sh=shape: shape_pixel(sh, c, x, y, s))
    write_ico("wizard/res/art/row_valid.ico", [16], lambda x, y, s: disc_pixel((0x30, 0xA0, 0x30), x, y, s, "check"))
    write_ico("wizard/res/art/renew_link.ico", [16], lambda x, y, s: disc_pixel((0xC0, 0x60, 0x20), x, y, s, "arrow"))
    write_bmp("wizard/res/art/select_banner.bmp", 430, 62, banner_pixel)
    write_bmp("wizard/res/art/ra_button.bmp", 64, 36, button_pixel)


if __name__ == "__main__":
    main()
