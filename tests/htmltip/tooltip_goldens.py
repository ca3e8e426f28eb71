#!/usr/bin/env python3
"""Compares the rendered tooltip images with the golden ones.

  tooltip_goldens.py --rendered DIR --golden DIR --build B               compare (exit 1 on a difference)
  tooltip_goldens.py --rendered DIR --golden DIR --build B --regenerate  replace the goldens on purpose

B is the Windows build that rendered the images (win32 or win64). VERSIONS.txt beside the goldens
names the build that rendered them. Images of that build must match the goldens exactly: a fault
as small as a few pixels of an icon drawn black then fails. The other build draws through other
code (another compiler's rounding in the blends) and may differ a little: a pixel counts as
different there when a channel moves by more than OTHER_BUILD_CHANNELS, and at most
OTHER_BUILD_PIXELS such pixels may differ in one image. A size that differs fails at once.

Text pixels come from FreeType through Wine, so they move when the font or Wine packages change:
then regenerate, look at the images, and commit them. --regenerate writes every rendered image as
the new golden (compressed) and records the build and the versions it was made with in
VERSIONS.txt. Standard library only.
"""
import argparse
import os
import struct
import subprocess
import sys
import zlib

# The build that did not render the goldens: on the goldens of wine-8.0, win64 renders differ from
# win32 ones in one pixel of each expiry tip, by 12 in one channel. An icon whose transparent
# corners are drawn black (96 pixels in the expiry tips) fails in either build.
OTHER_BUILD_CHANNELS = 16
OTHER_BUILD_PIXELS = 8


def read_png(path):
    """(width, height, rows of RGB bytes) of an 8-bit RGB or RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG file")
    pos, idat, header = 8, b"", None
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        pos += 12 + length
    if header is None:
        raise ValueError(f"{path}: no header")
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace != 0:
        raise ValueError(f"{path}: only 8-bit RGB or RGBA without interlace is read")
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 0xFF
        previous = line
        rgb = line if channels == 3 else bytearray(b for i, b in enumerate(line) if i % 4 != 3)
        rows.append(bytes(rgb))
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    raw = b"".join(b"\x00" + row for row in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def differing_pixels(a_rows, b_rows, width, channel_tolerance):
    count = 0
    for a, b in zip(a_rows, b_rows):
        if a == b:
            continue
        for x in range(width):
            i = 3 * x
            if max(abs(a[i] - b[i]), abs(a[i + 1] - b[i + 1]), abs(a[i + 2] - b[i + 2])) > channel_tolerance:
                count += 1
    return count


def golden_build(golden):
    """The build VERSIONS.txt says rendered the goldens, or None."""
    try:
        with open(os.path.join(golden, "VERSIONS.txt"), encoding="utf-8") as f:
            for line in f:
                if line.startswith("build:"):
                    return line.split(":", 1)[1].split()[0]
    except OSError:
        pass
    return None


def allowance(build, golden_build_name):
    """(channel tolerance, pixels that may differ) for images of `build`."""
    return (0, 0) if build == golden_build_name else (OTHER_BUILD_CHANNELS, OTHER_BUILD_PIXELS)


def version_of(command):
    try:
        out = subprocess.run(command, capture_output=True, text=True, timeout=60).stdout
        lines = sorted({line.strip() for line in out.splitlines() if line.strip()})  # one per architecture
        return ", ".join(lines) or "unknown"
    except (OSError, subprocess.SubprocessError):
        return "unknown"


def regenerate(rendered, golden, names, build):
    os.makedirs(golden, exist_ok=True)
    for name in names:
        width, height, rows = read_png(os.path.join(rendered, name))
        write_png(os.path.join(golden, name), width, height, rows)
        print(f"{name}: {width} x {height} written")
    package = ["dpkg-query", "-W", "-f", "${Version}\\n"]
    with open(os.path.join(golden, "VERSIONS.txt"), "w", encoding="utf-8") as f:
        f.write("# What the golden tooltip images were rendered with (tests/htmltip/regenerate-goldens).\n")
        f.write(f"build: {build} (its renders must match exactly)\n")
        f.write(f"wine: {version_of(['wine', '--version'])}\n")
        f.write(f"fonts-nanum: {version_of(package + ['fonts-nanum'])}\n")
        f.write(f"libfreetype6: {version_of(package + ['libfreetype6'])}\n")
        f.write(f"fontconfig: {version_of(package + ['fontconfig'])}\n")
        f.write("prefix: scripts/setup settings 2 (NanumGothic linked to Verdana and Arial)\n")
        f.write(f"other build: a channel moves by more than {OTHER_BUILD_CHANNELS}; at most {OTHER_BUILD_PIXELS} "
                f"such pixels an image\n")


def compare(rendered, golden, names, build):
    made_by = golden_build(golden)
    if made_by is None:
        print(f"{golden}/VERSIONS.txt: does not name the build that rendered the goldens")
        return False
    channels, pixels = allowance(build, made_by)
    rule = "exactly" if (channels, pixels) == (0, 0) else \
        f"within {pixels} pixels moved by more than {channels} in a channel"
    print(f"{build} renders against goldens of {made_by}: {rule}")
    failed = False
    wanted = sorted(n for n in os.listdir(golden) if n.endswith(".png"))
    for name in sorted(set(wanted) - set(names)):
        print(f"{name}: golden image not rendered")
        failed = True
    for name in names:
        golden_path = os.path.join(golden, name)
        if not os.path.exists(golden_path):
            print(f"{name}: no golden image (run tests/htmltip/regenerate-goldens)")
            failed = True
            continue
        w1, h1, got = read_png(os.path.join(rendered, name))
        w2, h2, want = read_png(golden_path)
        if (w1, h1) != (w2, h2):
            print(f"{name}: rendered {w1} x {h1}, golden {w2} x {h2}")
            failed = True
            continue
        allowed = pixels
        count = differing_pixels(got, want, w1, channels)
        verdict = "ok" if count <= allowed else "DIFFERS"
        print(f"{name}: {count} of {w1 * h1} pixels differ (at most {allowed}): {verdict}")
        failed = failed or count > allowed
    return not failed


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--rendered", required=True)
    parser.add_argument("--golden", required=True)
    parser.add_argument("--build", required=True, choices=["win32", "win64"],
                        help="the Windows build that rendered the images")
    parser.add_argument("--regenerate", action="store_true")
    args = parser.parse_args()
    if not os.path.isdir(args.rendered):
        print(f"{args.rendered}: nothing rendered (htmltip_golden_render runs first)")
        return 1
    names = sorted(n for n in os.listdir(args.rendered) if n.endswith(".png"))
    if not names:
        print(f"{args.rendered}: no images")
        return 1
    if args.regenerate:
        regenerate(args.rendered, args.golden, names, args.build)
        return 0
    return 0 if compare(args.rendered, args.golden, names, args.build) else 1


if __name__ == "__main__":
    sys.exit(main())
