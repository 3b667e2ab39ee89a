#!/usr/bin/env python3
"""Draws the demo tours' pictures: one synthetic landscape seen from one point, as a 2:1
equirectangular panorama and as the six faces of a cube.

Usage: tools/make_demo_tour.py OUT_FOLDER [WIDTH]
Writes pano.ppm and face_front/right/back/left/top/bottom.ppm; tools/make_demo_tour.sh turns them
into the JPEGs kept in examples/.

The scene is made to show orientation at a glance: a sky with a sun, a ridge of hills, a checked
ground plane, and four coloured posts at the compass points (north red, east green, south blue,
west yellow), each with as many white bands as its number (1 to 4).
"""
import math
import os
import sys

SUN = (math.radians(40.0), math.radians(28.0))  # azimuth, elevation
POSTS = [(0.0, (200, 40, 40)), (90.0, (40, 170, 60)), (180.0, (40, 70, 210)), (270.0, (230, 200, 40))]
POST_HALF_WIDTH = math.radians(2.5)


def mix(a, b, t):
    return tuple(int(a[i] + (b[i] - a[i]) * t) for i in range(3))


def ridge(az):
    return 0.10 + 0.05 * math.sin(3 * az + 0.4) + 0.03 * math.sin(7 * az + 1.3) + 0.015 * math.sin(17 * az)


def colour(x, y, z):
    """Colour seen along the unit direction (x, y, z); y is up, z is north, x is east."""
    az = math.atan2(x, z)
    el = math.asin(max(-1.0, min(1.0, y)))
    for number, (post_az_deg, post_colour) in enumerate(POSTS, start=1):
        d = (az - math.radians(post_az_deg) + math.pi) % (2 * math.pi) - math.pi
        if abs(d) < POST_HALF_WIDTH and -0.35 < el < 0.45:
            band = int((el + 0.35) / 0.8 * 12)
            if band % 3 == 1 and band // 3 < number:
                return (250, 250, 250)
            return post_colour
    if el >= 0.0:
        sun_az, sun_el = SUN
        cos_sun = (math.cos(el) * math.cos(sun_el) * math.cos(az - sun_az) + math.sin(el) * math.sin(sun_el))
        if cos_sun > 0.9990:
            return (255, 250, 215)
        if el < ridge(az):
            shade = el / ridge(az)
            return mix((70, 105, 70), (120, 135, 115), shade)
        sky = mix((205, 225, 250), (45, 95, 195), min(1.0, el / (math.pi / 2)) ** 0.6)
        if cos_sun > 0.97:
            sky = mix(sky, (255, 245, 220), (cos_sun - 0.97) / 0.029)
        return sky
    t = 1.0 / max(1e-6, -y)
    px, pz = x * t, z * t
    checked = (math.floor(px) + math.floor(pz)) % 2
    ground = (70, 140, 60) if checked else (95, 170, 80)
    haze = min(1.0, math.hypot(px, pz) / 60.0)
    return mix(ground, (180, 200, 190), haze)


def write_ppm(path, width, height, pixel):
    with open(path, "wb") as out:
        out.write(b"P6\n%d %d\n255\n" % (width, height))
        for j in range(height):
            row = bytearray()
            for i in range(width):
                row.extend(pixel(i, j))
            out.write(row)


def panorama(width):
    height = width // 2

    def pixel(i, j):
        az = ((i + 0.5) / width - 0.5) * 2 * math.pi
        el = (0.5 - (j + 0.5) / height) * math.pi
        return colour(math.cos(el) * math.sin(az), math.sin(el), math.cos(el) * math.cos(az))

    return width, height, pixel


# Each face: the direction at its centre, the direction of its right edge and of its top edge.
FACES = {
    "front": ((0, 0, 1), (1, 0, 0), (0, 1, 0)),
    "right": ((1, 0, 0), (0, 0, -1), (0, 1, 0)),
    "back": ((0, 0, -1), (-1, 0, 0), (0, 1, 0)),
    "left": ((-1, 0, 0), (0, 0, 1), (0, 1, 0)),
    "top": ((0, 1, 0), (1, 0, 0), (0, 0, -1)),
    "bottom": ((0, -1, 0), (1, 0, 0), (0, 0, 1)),
}


def face(name, size):
    forward, right, up = FACES[name]

    def pixel(i, j):
        a = 2 * (i + 0.5) / size - 1
        b = 1 - 2 * (j + 0.5) / size
        d = [forward[k] + a * right[k] + b * up[k] for k in range(3)]
        n = math.sqrt(sum(c * c for c in d))
        return colour(d[0] / n, d[1] / n, d[2] / n)

    return size, size, pixel


def main():
    out = sys.argv[1]
    width = int(sys.argv[2]) if len(sys.argv) > 2 else 2048
    os.makedirs(out, exist_ok=True)
    write_ppm(os.path.join(out, "pano.ppm"), *panorama(width))
    for name in FACES:
        write_ppm(os.path.join(out, "face_%s.ppm" % name), *face(name, width // 4))


if __name__ == "__main__":
    main()
