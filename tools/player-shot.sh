#!/usr/bin/env bash
# Starts the player on its own Xvfb display, waits, and saves screenshots of the whole screen:
# the way to look at the player as a user would, from a shell.
# Usage: tools/player-shot.sh OUT_PREFIX SECONDS [player arguments...]
#   OUT_PREFIX-1.png is taken after SECONDS. When LUMARIX_SHOT_INPUT holds xdotool arguments
#   (for example "mousemove 640 400 mousedown 1 mousemove 500 400 sleep 1 mouseup 1"), they are
#   played next and OUT_PREFIX-2.png is taken two seconds later.
# Needs ffmpeg (x11grab) and xdotool: apt-get install ffmpeg xdotool.
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$repo/tools/wine-env.sh"
[ $# -ge 2 ] || { echo "usage: player-shot.sh OUT_PREFIX SECONDS [args...]" >&2; exit 2; }
out=$1; wait_s=$2; shift 2
exe=${LUMARIX_EXE:-$repo/build/x86_64/lumarix.exe}
unset DISPLAY
lumarix_prepare_prefix "$(lumarix_build_dir "$exe")/wineprefix"
lumarix_ensure_display || exit 1
lumarix_warm_wine 5
"$WINE_LOADER" "$exe" "$@" >"$out.log" 2>&1 &
child=$!
shot() { ffmpeg -loglevel error -y -f x11grab -video_size 1280x1024 -i "$DISPLAY.0+0,0" -frames:v 1 "$1"; }
sleep "$wait_s"
shot "$out-1.png"
if [ -n "${LUMARIX_SHOT_INPUT:-}" ]; then
  # shellcheck disable=SC2086
  xdotool $LUMARIX_SHOT_INPUT
  sleep 2
  shot "$out-2.png"
fi
kill "$child" 2>/dev/null
"$WINE_SERVER" -k 2>/dev/null
wait "$child" 2>/dev/null
kill "$LUMARIX_XVFB_PID" 2>/dev/null
echo "saved $out-*.png (player output in $out.log)"
