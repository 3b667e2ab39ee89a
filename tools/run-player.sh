#!/usr/bin/env bash
# Sets up what is missing, builds the player and starts it on the demo tour.
# Extra arguments go to the player in place of the demo tour.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$repo/tools/setup.sh"
"$repo/tools/build.sh" x86_64 "$repo/build/x86_64" >/dev/null
source "$repo/tools/wine-env.sh"
if [ $# -eq 0 ]; then set -- "$(winepath_of "$repo/examples/demo/tour.kzr")"; fi
exec "$repo/tools/wine-run" "$repo/build/x86_64/lumarix.exe" "$@"
