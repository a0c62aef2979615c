#!/usr/bin/env python3
"""Generates the built-in sample picture (160x120) and its id pictures, using only the standard library.

Writes into filters/KCF/res: sample.bmp (24-bit, the dialog's preview picture), sample.png (8-bit RGB),
sample-mtl.png (8-bit material effects ids), sample-obj.png (16-bit object ids), and PAM twins of the
three PNGs for builds without PNG support.
"""
import math
import os
import struct
import zlib

W, H = 160, 120
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "filters", "KCF", "res")

# Region ids: 0 background, 1 disc, 2 panel, 3 lettering, 4 stripes.
rgb = [[(0, 0, 0)] * W for _ in range(H)]
ids = [[0] * W for _ in range(H)]


def put(x, y, colour, region=None):
    if 0 <= x < W and 0 <= y < H:
        rgb[y][x] = colour
        if region is not None:
            ids[y][x] = region


# Background: two crossing gradients.
for y in range(H):
    for x in range(W):
        r = int(40 + 160 * x / (W - 1))
        g = int(60 + 120 * y / (H - 1))
        b = int(200 - 150 * x / (W - 1))
        rgb[y][x] = (r, g, b)

# A disc with a hard edge and a radial shading inside.
cx, cy, rad = 40, 52, 28
for y in range(H):
    for x in range(W):
        d = math.hypot(x - cx, y - cy)
        if d <= rad:
            shade = 1.0 - 0.6 * d / rad
            put(x, y, (int(250 * shade + 5), int(210 * shade + 5), 20), 1)

# A grey panel with a one-pixel checkerboard and a two-pixel one: the finest detail there is.
for y in range(12, 58):
    for x in range(84, 152):
        if x < 118:
            v = 230 if (x + y) % 2 else 30
        else:
            v = 200 if ((x // 2) + (y // 2)) % 2 else 60
        put(x, y, (v, v, v), 2)

# Lettering: "KCF" in thick strokes, like text.
def stroke(x0, y0, x1, y1, width=3, colour=(255, 255, 255)):
    n = max(abs(x1 - x0), abs(y1 - y0)) * 2 + 1
    for i in range(n + 1):
        t = i / n
        px, py = x0 + (x1 - x0) * t, y0 + (y1 - y0) * t
        for dy in range(width):
            for dx in range(width):
                put(int(px) + dx - width // 2, int(py) + dy - width // 2, colour, 3)

for x in range(82, 156):
    for y in range(66, 108):
        put(x, y, (20, 20, 60), 3)
# K
stroke(88, 72, 88, 102)
stroke(88, 88, 104, 72)
stroke(91, 86, 104, 102)
# C
for a in range(40, 321, 4):
    t = math.radians(a)
    stroke(int(124 + 11 * math.cos(t)), int(87 - 15 * math.sin(t)), int(124 + 11 * math.cos(t)), int(87 - 15 * math.sin(t)))
# F
stroke(140, 72, 140, 102)
stroke(140, 72, 152, 72)
stroke(140, 86, 150, 86)

# Stripes of rising frequency along the bottom left, and a diagonal line across them.
for y in range(88, 116):
    for x in range(4, 76):
        period = 2 + (75 - x) // 10
        v = 240 if (x // max(1, period // 2)) % 2 else 15
        put(x, y, (v, v // 2, 255 - v), 4)
for i in range(70):
    put(6 + i, 112 - i // 3, (255, 0, 0))


def png(path, width, height, rows, colour_type, bit_depth):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    raw = b"".join(b"\x00" + row for row in rows)
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, bit_depth, colour_type, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


def pam(path, width, height, rows, depth, maxval, tupltype):
    header = f"P7\nWIDTH {width}\nHEIGHT {height}\nDEPTH {depth}\nMAXVAL {maxval}\nTUPLTYPE {tupltype}\nENDHDR\n"
    with open(path, "wb") as f:
        f.write(header.encode("ascii") + b"".join(rows))


def bmp24(path):
    stride = (W * 3 + 3) & ~3
    pixels = b""
    for y in reversed(range(H)):  # bottom-up
        row = b"".join(bytes((b, g, r)) for (r, g, b) in rgb[y])
        pixels += row + b"\x00" * (stride - W * 3)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(header + info + pixels)


os.makedirs(OUT, exist_ok=True)
rgb_rows = [b"".join(bytes(p) for p in row) for row in rgb]
mtl_rows = [bytes(row) for row in ids]
obj_rows = [b"".join(struct.pack(">H", 1000 * v) for v in row) for row in ids]  # object ids 0, 1000, 2000, ...
bmp24(os.path.join(OUT, "sample.bmp"))
png(os.path.join(OUT, "sample.png"), W, H, rgb_rows, 2, 8)
png(os.path.join(OUT, "sample-mtl.png"), W, H, mtl_rows, 0, 8)
png(os.path.join(OUT, "sample-obj.png"), W, H, obj_rows, 0, 16)
pam(os.path.join(OUT, "sample.pam"), W, H, rgb_rows, 3, 255, "RGB")
pam(os.path.join(OUT, "sample-mtl.pam"), W, H, mtl_rows, 1, 255, "GRAYSCALE")
pam(os.path.join(OUT, "sample-obj.pam"), W, H, obj_rows, 1, 65535, "GRAYSCALE")
