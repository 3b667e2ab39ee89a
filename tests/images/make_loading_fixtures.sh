#!/usr/bin/env bash
# Makes the loading tests' fixtures: a large noisy JPEG whose decode lasts long enough to be
# cancelled while it runs. Usage: make_loading_fixtures.sh output-folder
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
python3 - <<'PY'
import os
w, h = 3000, 2000
with open("big.ppm", "wb") as f:
    f.write(b"P6\n%d %d\n255\n" % (w, h))
    f.write(os.urandom(w * h * 3))
PY
cjpeg -quality 100 -sample 1x1 -outfile big.jpg big.ppm
rm -f big.ppm
