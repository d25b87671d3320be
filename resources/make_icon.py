#!/usr/bin/env python3
"""Draws the program icon "Vorlanth": a handheld terminal with a download arrow on its screen.

Writes vorlanth.ico (16, 32 and 48 pixels, 32-bit colour with alpha) next to this script,
and a PNG preview of the 48-pixel image when given --preview PATH. Standard library only.
"""
import struct
import sys
import zlib
from pathlib import Path

BODY = (38, 52, 88, 255)
BODY_EDGE = (20, 28, 52, 255)
SCREEN = (206, 232, 214, 255)
ARROW = (22, 140, 72, 255)
KEY = (150, 164, 196, 255)
CLEAR = (0, 0, 0, 0)


def inside_rounded(x, y, left, top, right, bottom, radius):
    """True when pixel centre (x, y) lies in the rounded rectangle."""
    cx, cy = x + 0.5, y + 0.5
    if not (left <= cx <= right and top <= cy <= bottom):
        return False
    nx = min(max(cx, left + radius), right - radius)
    ny = min(max(cy, top + radius), bottom - radius)
    return (cx - nx) ** 2 + (cy - ny) ** 2 <= radius ** 2


def draw(size):
    """Rows of RGBA pixels, top row first."""
    s = size / 48.0
    pixels = [[CLEAR] * size for _ in range(size)]
    body = (10 * s, 2 * s, 38 * s, 46 * s)
    for y in range(size):
        for x in range(size):
            if inside_rounded(x, y, *body, 5 * s):
                edge = not inside_rounded(x, y, body[0] + s, body[1] + s, body[2] - s,
                                          body[3] - s, 4 * s)
                pixels[y][x] = BODY_EDGE if edge else BODY
    # Screen.
    sl, st, sr, sb = 14 * s, 6 * s, 34 * s, 26 * s
    for y in range(size):
        for x in range(size):
            if sl <= x + 0.5 <= sr and st <= y + 0.5 <= sb:
                pixels[y][x] = SCREEN
    # Download arrow on the screen: a shaft and a head pointing down.
    mid = 24 * s
    for y in range(size):
        for x in range(size):
            cx, cy = x + 0.5, y + 0.5
            shaft = abs(cx - mid) <= 2.2 * s and 8 * s <= cy <= 17 * s
            head = 16 * s <= cy <= 24 * s and abs(cx - mid) <= (24 * s - cy) * 0.95
            if shaft or head:
                pixels[y][x] = ARROW
    # Keypad: three rows of three keys.
    key = max(1.0, 3 * s)
    for row in range(3):
        for col in range(3):
            kx, ky = (15 + col * 7) * s, (30 + row * 5) * s
            for y in range(size):
                for x in range(size):
                    if kx <= x + 0.5 <= kx + key * 1.6 and ky <= y + 0.5 <= ky + key:
                        pixels[y][x] = KEY
    return pixels


def bmp_entry(pixels):
    """One icon image: BITMAPINFOHEADER, bottom-up BGRA rows, then the AND mask."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(pixels) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + colour + mask


def write_ico(path, sizes):
    images = [bmp_entry(draw(size)) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    path.write_bytes(out + b"".join(images))


def write_png(path, pixels):
    raw = b"".join(b"\x00" + b"".join(bytes(p) for p in row) for row in pixels)
    size = len(pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(
            ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    path.write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
                     chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def main():
    here = Path(__file__).resolve().parent
    write_ico(here / "vorlanth.ico", [16, 32, 48])
    if len(sys.argv) == 3 and sys.argv[1] == "--preview":
        write_png(Path(sys.argv[2]), draw(48))


if __name__ == "__main__":
    main()
