#!/usr/bin/env python3
"""Draws the player's own cursors into resources/cursors/ as 32 x 32 monochrome .cur files.

Each cursor is a white shape with a black outline one pixel wide, the rest transparent:
  122 over a hotspot that leads somewhere: a pointing hand with a small arrow
  447 editing a hotspot's points: a cross with a square at its centre
  809 dragging the view: a closed hand
  810 the view can be dragged (drag mode, manual movement): an open hand
  811 over a toolbar button on systems without their own hand: a pointing hand
  813-821 steering by the pointer's offset, 15 + sideways (-1, 0, 1) + 3 x up/down (-1, 0, 1)
          as in the navigation's cursor code: arrows to the eight sides around a centre mark
Run again after a change and commit the .cur files (the build uses them as they are)."""
import math
import os
import struct

SIZE = 32


def inside_polygon(x, y, points):
    hit = False
    j = len(points) - 1
    for i in range(len(points)):
        xi, yi = points[i]
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            hit = not hit
        j = i
    return hit


def box(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r0, r1):
    return lambda x, y: r0 * r0 <= (x - cx) ** 2 + (y - cy) ** 2 <= r1 * r1


def polygon(points):
    return lambda x, y: inside_polygon(x, y, points)


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def rotated(points, angle, cx=16.0, cy=16.0):
    c, s = math.cos(angle), math.sin(angle)
    return [(cx + (px - cx) * c - (py - cy) * s, cy + (px - cx) * s + (py - cy) * c) for px, py in points]


# An arrow from the centre pointing right; turned for the other sides.
ARROW_RIGHT = [(9, 14), (19, 14), (19, 9), (27, 16), (19, 23), (19, 18), (9, 18)]


def arrow(dx, dy):
    return polygon(rotated(ARROW_RIGHT, math.atan2(dy, dx)))


def centre_mark():
    return union(ring(16, 16, 4.5, 7.5), disc(16, 16, 1.6))


def open_hand():
    fingers = [box(9 + 4 * i, 5 + (2 if i in (0, 3) else 0), 11 + 4 * i, 18) for i in range(4)]
    tips = [disc(10 + 4 * i, 5.5 + (2 if i in (0, 3) else 0), 1.5) for i in range(4)]
    thumb = polygon([(4, 15), (6, 13), (11, 19), (9, 22)])
    palm = polygon([(8, 16), (25, 16), (24, 24), (21, 28), (12, 28), (8, 22)])
    return union(*fingers, *tips, thumb, palm)


def closed_hand():
    knuckles = [disc(10 + 4 * i, 13, 2.2) for i in range(4)]
    palm = polygon([(8, 13), (25, 13), (24, 23), (21, 27), (12, 27), (8, 21)])
    thumb = polygon([(5, 17), (7, 15), (11, 19), (9, 21)])
    return union(*knuckles, palm, thumb)


# The folds between the closed hand's fingers, drawn in black inside it.
CLOSED_HAND_FOLDS = union(*[box(12 + 4 * i, 11, 12.9 + 4 * i, 16) for i in range(3)])


def pointing_hand():
    finger = union(box(10, 3, 13, 16), disc(11.5, 3.5, 1.7))
    folded = [box(14 + 3 * i, 12, 16 + 3 * i, 17) for i in range(3)]
    thumb = polygon([(5, 17), (7, 15), (11, 19), (9, 22)])
    palm = polygon([(9, 15), (23, 15), (23, 24), (20, 28), (12, 28), (9, 22)])
    return union(finger, *folded, thumb, palm)


def hotspot_hand():
    leads = polygon([(22, 5), (27, 5), (27, 3), (31, 7), (27, 11), (27, 9), (22, 9)])
    return union(pointing_hand(), leads)


def edit_cross():
    return union(box(15, 2, 17, 29), box(2, 15, 29, 17), box(12, 12, 20, 20))


def nothing(x, y):
    return False


# id: (shape, black lines inside it, hotspot x, hotspot y)
CURSORS = {
    122: (hotspot_hand(), nothing, 11, 2),
    447: (edit_cross(), box(15, 15, 16.9, 16.9), 16, 16),
    809: (closed_hand(), CLOSED_HAND_FOLDS, 16, 18),
    810: (open_hand(), nothing, 16, 16),
    811: (pointing_hand(), nothing, 11, 2),
}
for code in range(11, 20):
    dx = (code - 15 + 1) % 3 - 1
    dy = (code - 15 - dx) // 3
    CURSORS[code + 802] = (arrow(dx, dy) if (dx, dy) != (0, 0) else centre_mark(), nothing, 16, 16)


def rasterise(shape, ink=nothing):
    """Rows of 'w' (white), 'b' (black outline and ink) and ' ' (transparent), top row first."""
    filled = [[shape(x + 0.5, y + 0.5) for x in range(SIZE)] for y in range(SIZE)]
    rows = []
    for y in range(SIZE):
        row = ''
        for x in range(SIZE):
            if filled[y][x]:
                row += 'b' if ink(x + 0.5, y + 0.5) else 'w'
                continue
            near = any(0 <= x + i < SIZE and 0 <= y + j < SIZE and filled[y + j][x + i]
                       for i in (-1, 0, 1) for j in (-1, 0, 1))
            row += 'b' if near else ' '
        rows.append(row)
    return rows


def cursor_file(rows, hot_x, hot_y):
    # Monochrome: the AND mask keeps the screen where it is 1, the XOR bits then give white.
    xor_rows, and_rows = [], []
    for row in reversed(rows):
        xor_bits = and_bits = 0
        for x, c in enumerate(row):
            bit = 1 << (31 - x)
            if c == ' ':
                and_bits |= bit
            elif c == 'w':
                xor_bits |= bit
        xor_rows.append(struct.pack('>I', xor_bits))
        and_rows.append(struct.pack('>I', and_bits))
    info = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 1, 0, 0, 0, 0, 2, 0)
    palette = bytes((0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0))
    image = info + palette + b''.join(xor_rows) + b''.join(and_rows)
    header = struct.pack('<HHH', 0, 2, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 2, 0, hot_x, hot_y, len(image), 6 + 16)
    return header + entry + image


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'resources', 'cursors')
    os.makedirs(out, exist_ok=True)
    for number, (shape, ink, hot_x, hot_y) in sorted(CURSORS.items()):
        rows = rasterise(shape, ink)
        assert rows[hot_y][hot_x] != ' ', number
        with open(os.path.join(out, f'{number}.cur'), 'wb') as f:
            f.write(cursor_file(rows, hot_x, hot_y))


if __name__ == '__main__':
    main()
