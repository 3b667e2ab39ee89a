#!/usr/bin/env bash
# Runs the tests of a build folder under Wine with one display and one warm wineserver for the
# whole run. Usage: tools/ctest.sh build-folder [ctest arguments...]
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
build=$(cd "$1" && pwd); shift
lumarix_prepare_prefix "$build/wineprefix"
lumarix_ensure_display || exit 1
lumarix_warm_wine
lumarix_hold_desktop
cleanup() {
  "$WINE_SERVER" -k 2>/dev/null
  "$WINE_SERVER" -w 2>/dev/null
  if [ -n "$LUMARIX_DESKTOP_HOLDER_PID" ]; then kill "$LUMARIX_DESKTOP_HOLDER_PID" 2>/dev/null; wait "$LUMARIX_DESKTOP_HOLDER_PID" 2>/dev/null; fi
  if [ -n "$LUMARIX_XVFB_PID" ]; then kill "$LUMARIX_XVFB_PID" 2>/dev/null; wait "$LUMARIX_XVFB_PID" 2>/dev/null; fi
}
trap 'kill "$child" 2>/dev/null; wait "$child" 2>/dev/null; cleanup; exit 130' INT TERM
ctest --test-dir "$build" -j"$(nproc)" "$@" &
child=$!
wait "$child"
rc=$?
cleanup
exit $rc
