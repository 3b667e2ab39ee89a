#!/usr/bin/env bash
# The cube panorama through the render device on Software, OpenGL (Mesa's llvmpipe under Wine)
# and Direct3D 9, in the prefix where the hardware back ends exist, on two cores as CI runs;
# prints the frame rates side by side and the ratios.
# Usage: bench/render_backends.sh build-folder [measured frames] [back ends: any of s, g, d]
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:?usage: render_backends.sh build-folder [frames]}" && pwd)
frames=${2:-600}
backends=${3:-sgd}
exe=$build/bench/bench_render_backends.exe
standin=$build/test-fixtures/hardware-prefix/mpg2splt.ax
[ -x "$exe" ] || { echo "$exe not found: build the bench programs first" >&2; exit 2; }
[ -f "$standin" ] || { echo "$standin not found: build render_tests first" >&2; exit 2; }
cores=0,1
exec taskset -c "$cores" "$repo/tools/wine-hardware-run" "$standin" "$exe" "$frames" "$backends"
