#!/usr/bin/env bash
# Sets up what is missing, builds both architectures and runs every test under Wine, then
# again in the checked build.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$repo/tools/setup.sh"
"$repo/tools/build.sh" i686 "$repo/build/i686"
"$repo/tools/build.sh" x86_64 "$repo/build/x86_64"
"$repo/tools/ctest.sh" "$repo/build/x86_64" --output-on-failure
# The checked build: the same tests with undefined-behaviour traps and library assertions.
LUMARIX_CMAKE_ARGS=-DLUMARIX_CHECKED=ON "$repo/tools/build.sh" x86_64 "$repo/build/x86_64-checked"
"$repo/tools/ctest.sh" "$repo/build/x86_64-checked" --output-on-failure
