#!/usr/bin/env python3
"""Draws the bitmaps of the skinned windows and the host's toolbar into resources/bitmaps/.

The toolbar glyphs are simple line drawings on the light face colour of the skin; the caption
buttons' faces and glyphs lie on black, which the skin's drawing leaves out. Run again after a
change and commit the .bmp files (the build uses them as they are)."""
import os
import struct

FACE = (0xF8, 0xF8, 0xF8)
INK = (0x44, 0x4A, 0x4A)
LIGHT = (0xD2, 0xDA, 0xDA)
LINE = (0x91, 0x99, 0x99)
WHITE = (0xFF, 0xFF, 0xFF)
BLACK = (0x00, 0x00, 0x00)


class Picture:
    def __init__(self, width, height, fill=FACE):
        self.width, self.height = width, height
        self.pixels = [[fill] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour, filled=False):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                if filled or x in (x0, x1) or y in (y0, y1):
                    self.put(x, y, colour)

    def line(self, x0, y0, x1, y1, colour):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            self.put(round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps), colour)

    def circle(self, cx, cy, r, colour):
        for i in range(360):
            import math
            a = math.radians(i)
            self.put(round(cx + r * math.cos(a)), round(cy + r * math.sin(a)), colour)

    def save(self, path):
        row = (self.width * 3 + 3) & ~3
        data = bytearray()
        for y in range(self.height - 1, -1, -1):
            line = bytearray()
            for (r, g, b) in self.pixels[y]:
                line += bytes((b, g, r))
            line += bytes(row - len(line))
            data += line
        header = struct.pack('<2sIHHI', b'BM', 54 + len(data), 0, 0, 54)
        info = struct.pack('<IiiHHIIiiII', 40, self.width, self.height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
        with open(path, 'wb') as f:
            f.write(header + info + data)


def glyph(draw):
    p = Picture(26, 26)
    draw(p)
    return p


def folder(p):  # open file
    p.rect(5, 9, 20, 19, INK)
    p.line(5, 9, 8, 6, INK)
    p.line(8, 6, 12, 6, INK)
    p.line(12, 6, 13, 9, INK)


def disk(p):  # save view
    p.rect(5, 5, 20, 20, INK)
    p.rect(8, 5, 17, 10, INK)
    p.rect(8, 14, 17, 20, INK)


def fullscreen(p):
    p.rect(4, 6, 21, 19, INK)
    for (x, y, dx, dy) in ((6, 8, 1, 1), (19, 8, -1, 1), (6, 17, 1, -1), (19, 17, -1, -1)):
        p.line(x, y, x + 3 * dx, y, INK)
        p.line(x, y, x, y + 3 * dy, INK)


def invert(p):
    p.line(12, 4, 12, 21, INK)
    p.line(12, 4, 8, 8, INK)
    p.line(12, 4, 16, 8, INK)
    p.line(12, 21, 8, 17, INK)
    p.line(12, 21, 16, 17, INK)


def info(p):
    p.circle(12, 12, 8, INK)
    p.rect(12, 10, 12, 16, INK)
    p.put(12, 8, INK)


def hotspot(p):
    p.circle(12, 12, 7, INK)
    p.circle(12, 12, 3, INK)
    p.line(12, 2, 12, 6, INK)
    p.line(12, 18, 12, 22, INK)


def bilinear(p):
    for i in range(5):
        p.line(5, 6 + 3 * i, 20, 6 + 3 * i, LIGHT if i % 2 else INK)


def antialias(p):
    p.line(5, 20, 20, 5, INK)
    p.line(6, 20, 20, 6, LINE)


def sequence(p):
    p.rect(4, 7, 21, 18, INK)
    for x in range(6, 21, 4):
        p.rect(x, 9, x + 1, 10, INK, True)
        p.rect(x, 15, x + 1, 16, INK, True)


def qtvr(p):
    p.circle(12, 12, 8, INK)
    p.line(4, 12, 20, 12, INK)
    p.line(12, 4, 12, 20, LINE)


def package(p):
    p.rect(5, 8, 20, 20, INK)
    p.line(5, 8, 9, 4, INK)
    p.line(20, 8, 16, 4, INK)
    p.line(9, 4, 16, 4, INK)
    p.line(12, 8, 12, 20, INK)


def camera(p):
    p.rect(4, 8, 20, 19, INK)
    p.circle(12, 13, 4, INK)
    p.rect(8, 5, 13, 8, INK)


TOOLBAR = {323: folder, 890: disk, 885: fullscreen, 901: invert, 892: info, 886: hotspot,
           887: bilinear, 889: antialias, 347: sequence, 900: qtvr, 433: package, 464: camera}


def caption_button(kind):
    """The background is opaque; faces and glyphs lie on black, which drawing leaves out."""
    if kind == 'background':
        p = Picture(16, 16, FACE)
        p.rect(0, 0, 15, 15, LINE)
        return p
    p = Picture(16, 16, BLACK)
    if kind == 'hover':
        p.rect(1, 1, 14, 14, LIGHT, True)
    elif kind == 'pressed':
        p.rect(1, 1, 14, 14, LINE, True)
    elif kind == 'close':
        p.line(4, 4, 11, 11, INK)
        p.line(4, 11, 11, 4, INK)
        p.line(5, 4, 11, 10, INK)
        p.line(4, 10, 10, 4, INK)
    elif kind == 'restore':
        p.rect(4, 6, 9, 11, INK)
        p.line(6, 4, 11, 4, INK)
        p.line(11, 4, 11, 9, INK)
    elif kind == 'minimize':
        p.rect(4, 10, 11, 11, INK, True)
    elif kind == 'maximize':
        p.rect(4, 4, 11, 11, INK)
        p.line(4, 5, 11, 5, INK)
    return p


def icon():
    p = Picture(22, 18, WHITE)
    p.circle(10, 9, 7, INK)
    p.line(3, 9, 17, 9, LINE)
    p.circle(10, 9, 3, INK)
    return p


def viewfinder():
    p = Picture(256, 180, WHITE)
    p.rect(0, 0, 255, 179, INK)
    p.rect(1, 1, 254, 178, LINE)
    p.line(118, 90, 138, 90, INK)
    p.line(128, 80, 128, 100, INK)
    return p


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'resources', 'bitmaps')
    os.makedirs(out, exist_ok=True)
    for number, draw in TOOLBAR.items():
        glyph(draw).save(os.path.join(out, f'{number}.bmp'))
    for number, kind in ((325, 'background'), (902, 'hover'), (369, 'pressed'), (881, 'close'),
                         (882, 'restore'), (883, 'minimize'), (884, 'maximize')):
        caption_button(kind).save(os.path.join(out, f'{number}.bmp'))
    icon().save(os.path.join(out, '289.bmp'))
    viewfinder().save(os.path.join(out, '893.bmp'))


if __name__ == '__main__':
    main()
