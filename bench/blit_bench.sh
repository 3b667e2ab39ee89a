#!/usr/bin/env bash
# Runs the pixel loop benchmark (under Wine) and its pixman yardstick (native, built here with
# the host compiler) in the same run, and prints each case's best rate beside the reference and
# their ratio. Bilinear scaling, the alpha blend and the conversions are measured against
# pixman; the copy, fill and tile copy against memcpy and memset of the same bytes.
# Usage: bench/blit_bench.sh build-folder [runs]
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:?usage: blit_bench.sh build-folder [runs]}" && pwd)
runs=${2:-5}
exe=$build/bench/bench_blit_bench.exe
[ -x "$exe" ] || { echo "$exe not found: build the bench programs first" >&2; exit 2; }
ref=$build/bench/blit_pixman
flags=$(pkg-config --cflags --libs pixman-1 2>/dev/null || echo "-I/usr/include/pixman-1 -lpixman-1")
# shellcheck disable=SC2086
cc -O2 -o "$ref" "$repo/bench/reference/blit_pixman.c" $flags || {
    echo "cannot build the pixman reference: run tools/setup.sh (libpixman-1-dev)" >&2; exit 1; }
pixman=$("$ref" "$runs") || { echo "$pixman"; exit 1; }
ours=$("$repo/tools/wine-run" "$exe" "$runs" | tr -d '\r') || { echo "$ours"; exit 1; }
python3 - "$pixman" "$ours" <<'PY'
import sys
rates = {}
for line in (sys.argv[1] + "\n" + sys.argv[2]).splitlines():
    parts = line.split()
    if len(parts) == 3:
        rates.setdefault(parts[0], {})[parts[1]] = float(parts[2])
print("destination megapixels per second, best of the runs, one thread")
print("%-24s %10s %10s %12s  %s" % ("case", "sse2", "portable", "reference", "ratio (sse2 / ref, portable / ref)"))
for case, r in rates.items():
    ref_name = next((n for n in ("pixman", "memcpy", "memset") if n in r), None)
    ref = r.get(ref_name, 0.0)
    fast = r.get("sse2", 0.0)
    plain = r.get("portable", 0.0)
    ratio = ("%.2f, %.2f" % (fast / ref, plain / ref)) if ref else "-"
    print("%-24s %10.1f %10.1f %12s  %s" % (case, fast, plain, "%s %.1f" % (ref_name, ref), ratio))
print("note: pixman's OVER is premultiplied alpha and ours is straight alpha, at the same cost per pixel;")
print("      pixman's bilinear uses 7-bit weights, ours the exact 15-bit weights with per-product truncation.")
PY
