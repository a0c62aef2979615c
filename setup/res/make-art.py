#!/usr/bin/env python3
"""Draws setup.exe's logo bitmap (129) and icon (128): a 3x3 kernel grid beside blue bars."""
import struct
import os

HERE = os.path.dirname(os.path.abspath(__file__))

# Kernel weights shown as shades, a sharpen kernel.
KERNEL = [[0, -1, 0], [-1, 5, -1], [0, -1, 0]]


def shade(weight):
    if weight > 0:
        return (40, 70, 200)
    if weight < 0:
        return (150, 180, 240)
    return (235, 240, 250)


def kernel_pixel(x, y, size, border):
    """Colour of the kernel grid at (x, y) inside a size-square, or None outside it."""
    cell = (size - 2 * border) / 3.0
    gx, gy = x - border, y - border
    if gx < 0 or gy < 0 or gx >= size - 2 * border or gy >= size - 2 * border:
        return None
    cx, cy = int(gx / cell), int(gy / cell)
    inner = size - 2 * border - 1
    if gx - cx * cell < 1 or gy - cy * cell < 1 or gx >= inner or gy >= inner:
        return (20, 30, 80)
    return shade(KERNEL[cy][cx])


def logo(width=136, height=40):
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            colour = kernel_pixel(x - 4, y, height, 3)
            if colour is None:
                t = x / width
                colour = (int(250 - 30 * t), int(252 - 20 * t), 255)
                # Three bars that grow, as a filter's output would.
                for i, bar in enumerate((14, 22, 30)):
                    left = 52 + i * 26
                    if left <= x < left + 18 and height - 5 - bar <= y < height - 5:
                        colour = (30 + 40 * i, 60 + 30 * i, 190)
            row.append(colour)
        rows.append(row)
    return rows


def bmp24(rows):
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        data += line
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(header) + len(data), 0, 0, 14 + len(header)) + header + data


def icon_image(size):
    border = max(1, size // 16)
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            colour = kernel_pixel(x, y, size, border)
            row.append((0, 0, 0, 0) if colour is None else colour + (255,))
        pixels.append(row)
    xor = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)  # alpha decides; the AND mask stays clear
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + mask


def ico(sizes=(32, 16)):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


if __name__ == "__main__":
    with open(os.path.join(HERE, "logo.bmp"), "wb") as f:
        f.write(bmp24(logo()))
    with open(os.path.join(HERE, "setup.ico"), "wb") as f:
        f.write(ico())
