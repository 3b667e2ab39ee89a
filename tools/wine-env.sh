# Sourced by the Wine helpers: the 64-bit loader, the private prefix of a build folder, the
# display and the pinned test environment.
WINE_LOADER=/usr/lib/wine/wine64
WINE_SERVER=/usr/lib/wine/wineserver64
LUMARIX_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=${LUMARIX_LANG:-en_US.UTF-8}
export LC_ALL=$LANG

# The build folder that holds a path: the nearest folder above it with a CMakeCache.txt.
lumarix_build_dir() {
  local d
  d=$(cd "$(dirname "$1")" && pwd)
  while [ "$d" != / ]; do
    [ -f "$d/CMakeCache.txt" ] && { echo "$d"; return 0; }
    d=$(dirname "$d")
  done
  return 1
}

# Creates the prefix once (under a lock, since tests start in parallel) with the settings the
# program needs under Wine: no window manager waits, fonts, silent audio.
lumarix_prepare_prefix() {
  export WINEPREFIX=$1
  mkdir -p "$(dirname "$WINEPREFIX")"
  local alsa="$(dirname "$WINEPREFIX")/alsa-null.conf"
  (
    flock 9
    local settings
    settings=$(md5sum "$LUMARIX_REPO/tools/wine-prefix.reg" | cut -d' ' -f1)
    if [ ! -f "$WINEPREFIX/.lumarix-ready" ]; then
      rm -rf "$WINEPREFIX"
      "$WINE_LOADER" wineboot -i >/dev/null 2>&1 || true
      timeout 60 "$WINE_SERVER" -w
      cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
      printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' > "$alsa"
      touch "$WINEPREFIX/.lumarix-ready"
    fi
    # The settings are applied again whenever they change, without making the prefix anew.
    if [ "$(cat "$WINEPREFIX/.lumarix-settings" 2>/dev/null)" != "$settings" ]; then
      "$WINE_LOADER" regedit /S "$(winepath_of "$LUMARIX_REPO/tools/wine-prefix.reg")" >/dev/null 2>&1
      timeout 60 "$WINE_SERVER" -w
      echo "$settings" > "$WINEPREFIX/.lumarix-settings"
    fi
  ) 9>"$WINEPREFIX.lock"
  export ALSA_CONFIG_PATH="/usr/share/alsa/alsa.conf:$alsa"
}

winepath_of() { echo "Z:$(echo "$1" | sed 's|/|\\|g')"; }

# Starts Xvfb when there is no display; LUMARIX_XVFB_PID tells the caller what to stop.
lumarix_ensure_display() {
  LUMARIX_XVFB_PID=
  [ -n "${DISPLAY:-}" ] && return 0
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  LUMARIX_XVFB_PID=$!
  local num
  read -r -t 20 num <"$fifo" || true
  rm -f "$fifo"
  [ -n "$num" ] || { echo "wine-run: Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$num"
}

# Starts the prefix's server and Wine's background services with their output detached: started
# from a test program instead, they would inherit its output and keep the caller's pipe open.
lumarix_warm_wine() {
  [ "${LUMARIX_WINE_WARM:-}" = 1 ] && return 0
  "$WINE_SERVER" -p${1:-} </dev/null >/dev/null 2>&1
  "$WINE_LOADER" cmd /c exit </dev/null >/dev/null 2>&1
  export LUMARIX_WINE_WARM=1
}

# Keeps Wine's desktop up for a whole test run, started with its output detached. Wine starts the
# desktop process (explorer.exe /desktop) for the first program that needs the desktop window and
# ends it a second after its last user leaves; started from a test program, it inherits that
# program's output, and CTest then waits for the test until every other Wine program of the run
# has left the desktop, long after the test itself ended. A console program waiting on a pipe
# stays a user of the desktop, and a helper that asks for the desktop window starts the desktop
# process with no output of ours. LUMARIX_DESKTOP_HOLDER_PID tells the caller what to stop (the
# server's -k ends it too).
lumarix_hold_desktop() {
  LUMARIX_DESKTOP_HOLDER_PID=
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo" || return 1
  # Opened for reading and writing, the pipe neither blocks here nor ever ends the holder's read.
  exec {LUMARIX_DESKTOP_HOLDER_FD}<>"$fifo"
  rm -f "$fifo"
  "$WINE_LOADER" cmd /c "set /p hold=" <&"$LUMARIX_DESKTOP_HOLDER_FD" >/dev/null 2>&1 &
  LUMARIX_DESKTOP_HOLDER_PID=$!
  "$WINE_LOADER" rundll32 user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1
}
