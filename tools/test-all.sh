#!/usr/bin/env bash
# Sets up what is missing, builds both architectures and runs every test under Wine, then once
# more in the checked build.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$repo/tools/setup.sh"
"$repo/tools/build.sh" i686 "$repo/build/i686"
"$repo/tools/build.sh" x86_64 "$repo/build/x86_64"
"$repo/tools/ctest.sh" "$repo/build/x86_64" --output-on-failure
# The checked build: undefined behaviour traps at once, library assertions, stack checks.
LUMARIX_CMAKE_ARGS=-DLUMARIX_CHECKED=ON "$repo/tools/build.sh" x86_64 "$repo/build/x86_64-checked"
"$repo/tools/ctest.sh" "$repo/build/x86_64-checked" --output-on-failure
