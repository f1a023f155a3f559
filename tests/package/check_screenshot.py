#!/usr/bin/env python3
# Checks the first program's screenshot pixel by pixel; exits 1 and lists each wrong pixel.
"""The picture is a 320x240 dark blue screen with a yellow box whose corners are (100, 60) and
(219, 139). Usage: check_screenshot.py FILE.png"""
import struct
import sys
import zlib

BACKGROUND = (0x10, 0x20, 0x60)
BOX = (0xFF, 0xE0, 0x00)
# (x, y, expected): the box's corner pixels, and the pixels just outside each of its sides.
PROBES = [
    (100, 60, BOX), (219, 60, BOX), (100, 139, BOX), (219, 139, BOX), (160, 100, BOX),
    (99, 100, BACKGROUND), (220, 100, BACKGROUND), (160, 59, BACKGROUND), (160, 140, BACKGROUND),
    (0, 0, BACKGROUND), (319, 239, BACKGROUND),
]
TOLERANCE = 2


def read_png(path):
    """Returns (width, height, rows of (r, g, b)) of an 8-bit RGB or RGBA PNG without interlace."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise ValueError(f"unsupported PNG: depth {depth}, colour type {colour}, interlace {interlace}")
    bpp = 3 if colour == 2 else 4
    raw, stride, rows, prev = zlib.decompress(idat), width * bpp, [], bytearray(width * bpp)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * bpp:x * bpp + 3]) for x in range(width)])
        prev = line
    return width, height, rows


def main():
    width, height, rows = read_png(sys.argv[1])
    if (width, height) != (320, 240):
        print(f"{sys.argv[1]}: {width}x{height}, expected 320x240")
        return 1
    failures = 0
    for x, y, want in PROBES:
        got = rows[y][x]
        if any(abs(g - w) > TOLERANCE for g, w in zip(got, want)):
            print(f"{sys.argv[1]}: pixel ({x}, {y}) is {got}, expected {want}")
            failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
