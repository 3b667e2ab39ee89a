#!/usr/bin/env bash
# Redraws the demo tours' pictures (examples/demo/pano.jpg and examples/cube/face_*.jpg) with
# tools/make_demo_tour.py and cjpeg. The JPEGs are kept in the repository; run this only to change them.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$repo/tools/make_demo_tour.py" "$work" "${1:-2048}"
cjpeg -quality 85 -optimize "$work/pano.ppm" > "$repo/examples/demo/pano.jpg"
mkdir -p "$repo/examples/cube"
for face in front right back left top bottom; do
  cjpeg -quality 85 -optimize "$work/face_$face.ppm" > "$repo/examples/cube/face_$face.jpg"
done
