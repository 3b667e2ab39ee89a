#!/usr/bin/env bash
# The cube panorama at 1280 x 720 through the software rasteriser and through Mesa's llvmpipe
# (WGL under Wine) with one thread and with its default thread count; prints the frame rates,
# both ratios and the core count.
# Usage: bench/raster_bench.sh build-folder [rounds]
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:?usage: raster_bench.sh build-folder [rounds]}" && pwd)
rounds=${2:-3}
exe=$build/bench/bench_raster_bench.exe
[ -x "$exe" ] || { echo "$exe not found: build the bench programs first" >&2; exit 2; }
ours=$("$repo/tools/wine-run" "$exe" "$rounds") || { echo "$ours"; exit 1; }
echo "$ours"
one=$(LP_NUM_THREADS=1 "$repo/tools/wine-run" "$exe" --llvmpipe "$rounds") || { echo "$one"; exit 1; }
echo "$one"
all=$(env -u LP_NUM_THREADS "$repo/tools/wine-run" "$exe" --llvmpipe "$rounds") || { echo "$all"; exit 1; }
echo "$all"
rate() { echo "$1" | sed -n "s/^$2 \([0-9.]*\) frames\/s.*/\1/p" | tail -1; }
r=$(rate "$ours" lumarix); r1=$(rate "$one" llvmpipe); rn=$(rate "$all" llvmpipe)
python3 - "$r" "$r1" "$rn" "$(nproc)" <<'PY'
import sys
r, r1, rn, cores = sys.argv[1:5]
def ratio(a, b):
    return '%.2f' % (float(a) / float(b)) if a and b else 'n/a'
print('ratio lumarix/llvmpipe one thread %s, all %s cores %s' % (ratio(r, r1), cores, ratio(r, rn)))
PY
