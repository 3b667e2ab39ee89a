#!/usr/bin/env bash
# Encode speed of our JPEG encoder beside libjpeg-turbo's tjbench on the decoder bench's picture
# (8192 x 4096), in one run: ours from a 24-bit image into memory at quality 90, 4:2:0 and 4:4:4,
# best of 5; tjbench -componly at the same settings; our size beside cjpeg -quality 90's.
# Usage: bench/jpeg_encode_bench.sh build-folder
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:?usage: jpeg_encode_bench.sh build-folder}" && pwd)
exe=$build/bench/bench_jpeg_encode.exe
maker=$build/bench/bench_jpeg_decode.exe
for program in "$exe" "$maker"; do
  [ -x "$program" ] || { echo "$program not found: build the bench programs first" >&2; exit 2; }
done
for tool in cjpeg tjbench; do
  command -v $tool >/dev/null || { echo "$tool missing: run tools/setup.sh" >&2; exit 2; }
done
work=$build/bench-jpeg
mkdir -p "$work"
win() { echo "Z:$1" | tr / '\\'; }
[ -f "$work/source.ppm" ] || "$repo/tools/wine-run" "$maker" make "$(win "$work/source.ppm")" || exit 1
ours=$("$repo/tools/wine-run" "$exe" encode "$(win "$work/source.ppm")") || { echo "$ours"; exit 1; }
echo "$ours"
echo
printf '%-8s %12s %12s %8s %12s %12s %8s\n' sampling "ours MP/s" "tjbench MP/s" ratio \
  "ours bytes" "cjpeg bytes" "size"
for pair in "420 2x2" "444 1x1"; do
  set -- $pair
  tj=$(cd "$work" && tjbench source.ppm 90 -subsamp "$1" -componly -benchtime 2 -warmup 1 2>&1 |
       sed -n 's/.*Throughput: *\([0-9.]*\) Megapixels\/sec.*/\1/p' | head -1)
  cjpeg -quality 90 -sample "$2" -outfile "$work/enc_$1.jpg" "$work/source.ppm"
  ref=$(stat -c %s "$work/enc_$1.jpg")
  line=$(echo "$ours" | grep "^$1 ")
  mps=$(echo "$line" | awk '{print $2}')
  size=$(echo "$line" | awk '{print $3}')
  python3 -c "print('%-8s %12.1f %12.1f %8.2f %12d %12d %8.3f' % ('$1', $mps, ${tj:-0}, $mps / ${tj:-1}, $size, $ref, $size / $ref))"
done
