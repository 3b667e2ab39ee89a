#!/usr/bin/env bash
# Sets up what is missing, builds both architectures and runs every test under Wine.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$repo/tools/setup.sh"
"$repo/tools/build.sh" i686 "$repo/build/i686"
"$repo/tools/build.sh" x86_64 "$repo/build/x86_64"
"$repo/tools/ctest.sh" "$repo/build/x86_64" --output-on-failure
