#!/usr/bin/env bash
# Checks the standard streams the encoder tests wrote (test-fixtures/encoder) with libjpeg's
# djpeg: each decodes without a warning and within the decoder tests' tolerance of our own decode;
# beside cjpeg -dct float at the same quality and sampling, the size is within 3 % and the error
# against the source, with each channel's mean error removed, is within 0.25 RMS.
# Usage: check_encoder_streams.sh fixtures-folder (holding jpeg/ and encoder/)
set -euo pipefail
root=$1
enc="$root/encoder"
src="$root/jpeg/photo.ppm"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

decode() {   # stream output
  djpeg -dct float -nosmooth -pnm -outfile "$2" "$1" 2> "$work/stderr"
  if [ -s "$work/stderr" ]; then
    echo "djpeg warned on $1:"; cat "$work/stderr"; exit 1
  fi
}

for name in ours420 ours444 ours422 oursgrey ours420opt skewed; do
  decode "$enc/$name.jpg" "$work/$name.djpeg.pnm"
done
for pair in "ours420 2x2" "ours444 1x1" "ours422 2x1"; do
  set -- $pair
  cjpeg -dct float -quality 90 -sample "$2" -outfile "$work/$1.ref.jpg" "$src"
  decode "$work/$1.ref.jpg" "$work/$1.ref.pnm"
done

python3 - "$enc" "$work" "$src" <<'PY'
import math, os, sys
enc, work, src = sys.argv[1:4]

def read(path):
    b = open(path, "rb").read()
    fields, pos = [], 2
    while len(fields) < 3:
        while b[pos] in b" \t\r\n":
            pos += 1
        start = pos
        while b[pos] not in b" \t\r\n":
            pos += 1
        fields.append(int(b[start:pos]))
    channels = 3 if b[:2] == b"P6" else 1
    return fields[0], fields[1], channels, b[pos + 1:]

def rgb(picture):
    w, h, c, data = picture
    return data if c == 3 else bytes(v for v in data for _ in range(3))

failed = False
def check(ok, text):
    global failed
    print(("ok   " if ok else "FAIL ") + text)
    failed |= not ok

# djpeg against our decoder.
for name in ["ours420", "ours444", "ours422", "oursgrey", "ours420opt"]:
    a = rgb(read(os.path.join(work, name + ".djpeg.pnm")))
    b = rgb(read(os.path.join(enc, name + ".ppm")))
    diffs = [abs(x - y) for x, y in zip(a, b)]
    within = sum(d <= 2 for d in diffs) / len(diffs)
    # The decoder tests' tolerance for full-range pictures (clamping differs at the extremes).
    check(len(a) == len(b) and sum(diffs) / len(diffs) < 0.6 and within >= 0.995,
          "%s: djpeg and our decoder agree (max %d, within two %.4f)" % (name, max(diffs), within))

# Beside cjpeg.
source = read(src)[3]
def centred_rms(decoded):
    total = 0.0
    for c in range(3):
        errors = [decoded[i] - source[i] for i in range(c, len(source), 3)]
        mean = sum(errors) / len(errors)
        total += sum((e - mean) ** 2 for e in errors) / len(errors)
    return math.sqrt(total / 3)
for name in ["ours420", "ours444", "ours422"]:
    ours = os.path.getsize(os.path.join(enc, name + ".jpg"))
    ref = os.path.getsize(os.path.join(work, name + ".ref.jpg"))
    check(abs(ours - ref) <= 0.03 * ref, "%s: %d bytes beside cjpeg's %d" % (name, ours, ref))
    o = centred_rms(read(os.path.join(work, name + ".djpeg.pnm"))[3])
    r = centred_rms(read(os.path.join(work, name + ".ref.pnm"))[3])
    check(o - r <= 0.25, "%s: centred RMS error %.3f beside cjpeg's %.3f" % (name, o, r))
sys.exit(1 if failed else 0)
PY
