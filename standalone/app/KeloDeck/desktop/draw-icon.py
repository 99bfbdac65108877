#!/usr/bin/env python3
"""Draws KeloDeck's application icon (64 x 64 RGBA PNG, kelodeck.png) into this folder.

A keyboard octave on a rounded dark tile, drawn with the shapes and the PNG writer of the media
bar's images (engine/data/GUI/draw-media-bar.py). Run it again after changing a shape.
"""
import importlib.util
import os

here = os.path.dirname(os.path.abspath(__file__))
found = importlib.util.spec_from_file_location(
    "media_bar", os.path.join(here, "../../../../engine/data/GUI/draw-media-bar.py"))
media_bar = importlib.util.module_from_spec(found)
found.loader.exec_module(media_bar)
media_bar.SIZE = 64

TILE = (38, 52, 78)
WHITE = (244, 244, 240)
BLACK = (24, 24, 28)
RADIUS = 10


def tile():
    r, s = RADIUS, media_bar.SIZE - 2
    return [(media_bar.rectangle(2 + r, 2, s - r, s), TILE),
            (media_bar.rectangle(2, 2 + r, s, s - r), TILE)] + [
        (media_bar.circle(x, y, r), TILE) for x in (2 + r, s - r) for y in (2 + r, s - r)]


def keyboard():
    left, top, bottom, width = 9, 14, 52, 46 / 7
    shapes = [(media_bar.rectangle(left + i * width + 0.8, top, left + (i + 1) * width - 0.8,
                                   bottom), WHITE) for i in range(7)]
    for i in (1, 2, 4, 5, 6):  # black keys between the white ones
        x = left + i * width
        shapes.append((media_bar.rectangle(x - 2.2, top, x + 2.2, top + 23), BLACK))
    return shapes


if __name__ == "__main__":
    media_bar.write_png(os.path.join(here, "kelodeck.png"), media_bar.render(tile() + keyboard()))
    print("wrote kelodeck.png")
