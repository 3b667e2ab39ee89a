#!/usr/bin/env bash
# Configures and builds one architecture. Usage: tools/build.sh x86_64|i686 [build-folder]
# The checked build: LUMARIX_CMAKE_ARGS=-DLUMARIX_CHECKED=ON tools/build.sh x86_64 build/x86_64-checked
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
arch=${1:-x86_64}
build=${2:-$repo/build/$arch}
case "$arch" in x86_64|i686) ;; *) echo "build.sh: unknown architecture $arch" >&2; exit 2;; esac
if [ ! -f "$build/CMakeCache.txt" ]; then
  # LUMARIX_CMAKE_ARGS: further options for a new build folder (-DLUMARIX_CHECKED=ON).
  # shellcheck disable=SC2086
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-$arch.cmake" \
    ${LUMARIX_CMAKE_ARGS:-} >/dev/null
fi
cmake --build "$build" -- -j"$(nproc)"
