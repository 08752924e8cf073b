#!/usr/bin/env python3
"""Draws the program icon (32x32 and 16x16, 32-bit with alpha) and writes
BrackenfoldDeviceInterface.ico beside this script. Standard library only."""

import os
import struct

DARK = (45, 45, 45)
BLUE = (0, 162, 232)
WHITE = (230, 230, 230)


def draw(size):
    """Rows of (r, g, b, a) from the top: a dark rounded tile with three blue
    chevrons folding to the right over a white ground line."""
    radius = size / 6.0
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            cx = x + 0.5
            cy = y + 0.5
            # Rounded corners: distance from the inner rectangle.
            dx = max(radius - cx, 0.0, cx - (size - radius))
            dy = max(radius - cy, 0.0, cy - (size - radius))
            if dx * dx + dy * dy > radius * radius:
                row.append((0, 0, 0, 0))
                continue
            colour = DARK
            u = cx / size
            v = cy / size
            if 0.78 <= v <= 0.84 and 0.15 <= u <= 0.85:
                colour = WHITE
            for k in range(3):
                tip = 0.46 + 0.15 * k
                edge = abs(v - 0.45)
                if 0.14 <= v <= 0.72 and 0 <= tip - u - edge * 0.75 <= 0.08:
                    colour = BLUE
            row.append(colour + (255,))
        pixels.append(row)
    return pixels


def bitmap(size):
    """One icon image: BITMAPINFOHEADER (double height), BGRA rows from the
    bottom, then the AND mask (rows padded to 32 bits)."""
    pixels = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def main():
    sizes = (32, 16)
    images = [bitmap(size) for size in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                        "BrackenfoldDeviceInterface.ico")
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
