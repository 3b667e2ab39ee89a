#!/usr/bin/env bash
# Installs what building and testing Lumarix needs on a Debian 12 machine, and fetches the
# dependency sources into .deps/. Quick and silent when everything is already there.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
deps=${LUMARIX_DEPS:-$repo/.deps}

packages=(
  cmake ninja-build make python3 dpkg-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  libz-mingw-w64-dev googletest
  wine wine64 xvfb xauth x11-utils fonts-liberation fonts-dejavu-core fonts-wine
  locales gcab curl libjpeg-turbo-progs
)
# The pixel loop benchmark's yardstick, built natively by bench/blit_bench.sh.
packages+=(gcc pkg-config libpixman-1-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

need_src=0
[ -f "$deps/libpng/png.h" ] || need_src=1

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

if [ ${#missing[@]} -gt 0 ] || [ $need_src = 1 ]; then
  src_list=/etc/apt/sources.list.d/lumarix-src.sources
  if [ $need_src = 1 ] && ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && \
     ! grep -qs '^deb-src' /etc/apt/sources.list; then
    echo "setup: enabling Debian source entries ($src_list)"
    as_root tee "$src_list" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  fi
  echo "setup: apt-get update"
  as_root apt-get update -qq
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine picks its locale from LANG; the tests pin en_US.UTF-8 and one test runs German.
for loc in en_US.UTF-8 de_DE.UTF-8; do
  short=$(echo "$loc" | sed 's/UTF-8/utf8/')
  if ! locale -a 2>/dev/null | grep -qx "$short"; then
    echo "setup: generating locale $loc"
    as_root sed -i "s/^# *\($loc UTF-8\)/\1/" /etc/locale.gen
    grep -q "^$loc UTF-8" /etc/locale.gen || echo "$loc UTF-8" | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null
  fi
done

# libpng is compiled by our own build for each architecture; only its source is fetched here.
if [ $need_src = 1 ]; then
  echo "setup: fetching the libpng1.6 source package"
  rm -rf "$deps/libpng" "$deps/fetch"
  mkdir -p "$deps/fetch"
  ( cd "$deps/fetch"
    if ! apt-get source --download-only libpng1.6 >/dev/null 2>&1; then
      # The newest version's files may be gone from the mirror: pin one the suite lists.
      ok=0
      for v in $(apt-cache showsrc libpng1.6 | sed -n 's/^Version: //p'); do
        if apt-get source --download-only "libpng1.6=$v" >/dev/null 2>&1; then ok=1; break; fi
      done
      [ $ok = 1 ] || { echo "setup: cannot fetch libpng1.6 sources" >&2; exit 1; }
    fi
    tar xf libpng1.6_*.orig.tar.*
  )
  mv "$deps"/fetch/libpng-1.6.*/ "$deps/libpng"
  rm -rf "$deps/fetch"
fi
