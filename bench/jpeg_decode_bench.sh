#!/usr/bin/env bash
# Decode speed of our JPEG decoder beside libjpeg-turbo's tjbench on the same files, in one run:
# an 8192 x 4096 picture with photo-like detail, cjpeg -quality 90 at 4:2:0, 4:2:2, 4:4:4 and
# grey; ours decodes into a 24-bit tiled image (best of 5, SIMD and plain paths), tjbench with
# -fastupsample. Usage: bench/jpeg_decode_bench.sh build-folder
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:?usage: jpeg_decode_bench.sh build-folder}" && pwd)
exe=$build/bench/bench_jpeg_decode.exe
[ -x "$exe" ] || { echo "$exe not found: build the bench programs first" >&2; exit 2; }
for tool in cjpeg tjbench; do
  command -v $tool >/dev/null || { echo "$tool missing: run tools/setup.sh" >&2; exit 2; }
done
work=$build/bench-jpeg
mkdir -p "$work"
win() { echo "Z:$1" | tr / '\\'; }
[ -f "$work/source.ppm" ] || "$repo/tools/wine-run" "$exe" make "$(win "$work/source.ppm")" || exit 1
names=(420 422 444 grey)
cjpeg -quality 90 -sample 2x2 -outfile "$work/q90_420.jpg" "$work/source.ppm"
cjpeg -quality 90 -sample 2x1 -outfile "$work/q90_422.jpg" "$work/source.ppm"
cjpeg -quality 90 -sample 1x1 -outfile "$work/q90_444.jpg" "$work/source.ppm"
cjpeg -quality 90 -grayscale -outfile "$work/q90_grey.jpg" "$work/source.ppm"
args=()
for n in "${names[@]}"; do args+=("$(win "$work/q90_$n.jpg")"); done
ours=$("$repo/tools/wine-run" "$exe" decode "${args[@]}") || { echo "$ours"; exit 1; }
echo "$ours"
echo
printf '%-8s %12s %12s %12s %10s %10s\n' sampling "ours MP/s" "plain MP/s" "tjbench MP/s" ratio "plain/tj"
for n in "${names[@]}"; do
  tj=$(tjbench "$work/q90_$n.jpg" -fastupsample -nowrite -benchtime 2 -warmup 1 2>&1 |
       sed -n 's/.*Throughput: *\([0-9.]*\) Megapixels\/sec.*/\1/p' | head -1)
  line=$(echo "$ours" | grep "q90_$n.jpg")
  simd=$(echo "$line" | awk '{print $2}')
  plain=$(echo "$line" | awk '{print $3}')
  python3 -c "print('%-8s %12.1f %12.1f %12.1f %10.2f %10.2f' % ('$n', $simd, $plain, $tj, $simd / $tj, $plain / $tj))"
done
