#!/usr/bin/env bash
# Makes the JPEG decoder's fixtures: source pictures (PPM/PGM), their JPEG streams made by cjpeg
# in every sampling and option the tests need, and djpeg's float-transform, replicated-chroma
# decodes of each stream as references. Usage: make_jpeg_fixtures.sh output-folder
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"

python3 - <<'PY'
import math, random

def write(name, w, h, pixel, grey=False):
    rows = bytearray()
    for y in range(h):
        for x in range(w):
            r, g, b = pixel(x, y)
            if grey:
                rows.append(max(0, min(255, int(0.299 * r + 0.587 * g + 0.114 * b))))
            else:
                rows += bytes(max(0, min(255, int(v))) for v in (r, g, b))
    with open(name, "wb") as f:
        f.write(b"%s\n%d %d\n255\n" % (b"P5" if grey else b"P6", w, h))
        f.write(rows)

rnd = random.Random(7)
noise = [rnd.randint(-24, 24) for _ in range(1 << 16)]

def photo(x, y):
    # Smooth sky, a horizon, textured ground, a few hard-edged objects and sensor noise.
    n = noise[(x * 131 + y * 977) & 0xFFFF]
    if y < 60:
        base = (90 + y, 140 + y // 2, 230 - y)
    else:
        t = math.sin(x * 0.21) * math.cos(y * 0.17)
        base = (120 + 80 * t, 100 + 60 * math.sin(x * 0.05 + y * 0.09), 60 + 50 * t)
    if (x // 23 + y // 19) % 5 == 0:
        base = (250, 250 - (x % 40) * 5, 20)
    if 140 < x < 170 and 20 < y < 150:
        base = (10, 10, 10) if (x + y) % 7 else (255, 255, 255)
    return tuple(c + n for c in base)

def mid(x, y):
    r, g, b = photo(x, y)
    return tuple(32 + max(0, min(255, c)) * 191 // 255 for c in (r, g, b))

write("photo.ppm", 203, 157, photo)
write("photo.pgm", 203, 157, photo, grey=True)
write("mid.ppm", 96, 80, mid)
write("tiny.ppm", 1, 1, lambda x, y: (200, 30, 90))
write("odd.ppm", 17, 9, photo)
write("wide.ppm", 33, 31, photo)
write("strip600.ppm", 600, 100, photo)
write("strip601.ppm", 601, 100, photo)
# Wider than an image stores untransposed.
with open("long.pgm", "wb") as f:
    f.write(b"P5\n32800 8\n255\n")
    f.write(bytes(((x * 7 + y * 31) >> 3) & 255 for y in range(8) for x in range(32800)))
PY

make() {   # name source cjpeg-options...
  local name=$1 src=$2; shift 2
  cjpeg "$@" -outfile "$name.jpg" "$src"
  djpeg -dct float -nosmooth -pnm -outfile "$name.pnm" "$name.jpg"
}
make c444 photo.ppm -quality 90 -sample 1x1
make c422 photo.ppm -quality 90 -sample 2x1
make c440 photo.ppm -quality 90 -sample 1x2
make c420 photo.ppm -quality 90 -sample 2x2
make grey photo.pgm -quality 90
make mid444 mid.ppm -quality 75 -sample 1x1
make mid420 mid.ppm -quality 75 -sample 2x2
make tiny tiny.ppm -quality 90 -sample 2x2
make odd420 odd.ppm -quality 90 -sample 2x2
make odd422 wide.ppm -quality 95 -sample 2x1
make restart420 photo.ppm -quality 90 -sample 2x2 -restart 3B
make restart444 photo.ppm -quality 80 -sample 1x1 -restart 1
make optimized photo.ppm -quality 85 -sample 2x2 -optimize
make strip600 strip600.ppm -quality 80 -sample 2x2
make strip601 strip601.ppm -quality 80 -sample 2x2
make long long.pgm -quality 90
cjpeg -quality 90 -progressive -outfile progressive.jpg photo.ppm
touch done.stamp
