#!/usr/bin/env python3
"""Draws the media bar's button images (24 x 24 RGBA PNG) into this folder.

Each image is a few filled shapes on a transparent ground, sampled 8 x 8 times per pixel for
smooth edges. Standard library only: run it again after changing a shape.
"""
import math
import os
import struct
import zlib

SIZE = 24
SAMPLES = 8
INK = (52, 56, 64)      # dark grey glyphs
RED = (204, 40, 40)     # the record dot


def polygon(points):
    def inside(x, y):
        crossing = False
        for (x1, y1), (x2, y2) in zip(points, points[1:] + points[:1]):
            if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
                crossing = not crossing
        return crossing
    return inside


def rectangle(left, top, right, bottom):
    return lambda x, y: left <= x < right and top <= y < bottom


def circle(cx, cy, radius):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def render(shapes):
    """shapes: (test, colour) pairs, later ones painted over earlier ones."""
    rows = []
    for py in range(SIZE):
        row = bytearray([0])  # filter type: none
        for px in range(SIZE):
            cover = [0] * len(shapes)
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = px + (sx + 0.5) / SAMPLES
                    y = py + (sy + 0.5) / SAMPLES
                    for i in range(len(shapes) - 1, -1, -1):
                        if shapes[i][0](x, y):
                            cover[i] += 1
                            break
            total = SAMPLES * SAMPLES
            alpha = sum(cover) / total
            if alpha == 0:
                row += bytes(4)
                continue
            colour = [sum(c * shapes[i][1][k] for i, c in enumerate(cover)) / sum(cover)
                      for k in range(3)]
            row += bytes([round(colour[0]), round(colour[1]), round(colour[2]),
                          round(alpha * 255)])
        rows.append(bytes(row))
    return rows


def write_png(path, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", header))
        out.write(chunk(b"IDAT", zlib.compress(b"".join(rows), 9)))
        out.write(chunk(b"IEND", b""))


IMAGES = {
    "media-playback-start22.png": [(polygon([(7, 4), (20, 12), (7, 20)]), INK)],
    "media-playback-stop22.png": [(rectangle(6, 6, 18, 18), INK)],
    "media-eject22.png": [(polygon([(12, 4), (20, 13), (4, 13)]), INK),
                          (rectangle(4, 16, 20, 19), INK)],
    "media-skip-backward22.png": [(rectangle(5, 5, 8, 19), INK),
                                  (polygon([(19, 5), (19, 19), (8.5, 12)]), INK)],
    "media-record22.png": [(circle(12, 12, 7), RED)],
}

if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    for name, shapes in IMAGES.items():
        write_png(os.path.join(here, name), render(shapes))
        print("wrote", name)
