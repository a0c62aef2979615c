#!/usr/bin/env python3
"""Draws the About box's logo (130x33, 24-bit BMP) into filters/KCF/res/logo.bmp, using only the standard library.

A 3x3 kernel grid on the left, shaded by an emboss kernel's weights, and "KERNEL" / "CRAFT" in a
5x7 pixel font drawn twice its size, over a dark blue gradient with a light rule along the bottom.
"""
import os
import struct

W, H = 130, 33
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "filters", "KCF", "res", "logo.bmp")

FONT = {
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
}

pixels = [[(0, 0, 0)] * W for _ in range(H)]

# Background: dark blue, lighter toward the right.
for y in range(H):
    for x in range(W):
        t = x / (W - 1)
        pixels[y][x] = (int(16 + 24 * t), int(32 + 40 * t), int(72 + 60 * t) - y)

# A light rule along the bottom.
for x in range(W):
    pixels[H - 2][x] = (200, 210, 230)

# The kernel grid: 3x3 cells of 8x8 with 1-pixel gaps, shaded by the emboss weights.
EMBOSS = [[-1, -1, 0], [-1, 1, 1], [0, 1, 1]]
SHADE = {-1: (70, 90, 140), 0: (150, 165, 200), 1: (245, 245, 255)}
for r in range(3):
    for c in range(3):
        colour = SHADE[EMBOSS[r][c]]
        for y in range(3 + 9 * r, 3 + 9 * r + 8):
            for x in range(4 + 9 * c, 4 + 9 * c + 8):
                pixels[y][x] = colour


def text(word, left, top, colour, scale=2):
    x = left
    for ch in word:
        for gy, row in enumerate(FONT[ch]):
            for gx, bit in enumerate(row):
                if bit == "1":
                    for dy in range(scale):
                        for dx in range(scale):
                            pixels[top + gy * scale + dy][x + gx * scale + dx] = colour
        x += 6 * scale


text("KERNEL", 40, 1, (255, 255, 255))
text("CRAFT", 40, 16, (255, 200, 90))


def write_bmp(path):
    row_bytes = (W * 3 + 3) & ~3
    data = bytearray()
    for y in range(H - 1, -1, -1):  # bottom-up
        row = bytearray()
        for r, g, b in pixels[y]:
            row += bytes((b, g, r))
        row += b"\0" * (row_bytes - len(row))
        data += row
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


write_bmp(OUT)
print("wrote", os.path.normpath(OUT))
