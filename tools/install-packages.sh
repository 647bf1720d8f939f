#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: does nothing when every package is already present.
set -euo pipefail

packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev libz-mingw-w64-dev
  wine wine64 fonts-wine fonts-liberation libxrender1 libxcursor1 libxi6 libxrandr2
  libxinerama1 libxcomposite1 libxfixes3 xvfb x11-utils xdotool imagemagick
  cmake make ninja-build googletest dpkg-dev pkg-config
  unzip zip python3 clang-format osslsigncode openssl locales
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# Source entries are needed for the cross-built libraries.
src=/etc/apt/sources.list.d/debian-src.sources
if [ ! -f "$src" ] && [ -f /etc/apt/sources.list.d/debian.sources ]; then
  sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$src"
  need_update=1
fi

if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine speaks the language of its locale: the tests, the demo and the
# screenshots run as on a Czech Windows (see tools/wine-session.sh).
if ! locale -a 2>/dev/null | grep -qix 'cs_CZ.utf-\?8'; then
  echo "Generating the locale cs_CZ.UTF-8"
  localedef -i cs_CZ -f UTF-8 cs_CZ.UTF-8
fi
