#!/usr/bin/env bash
# Cross-builds libjpeg-turbo and libzip from Debian's source packages into a
# local prefix (default: .deps/ in the repository). Skips a library whose
# installed files are already there.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
prefix=${1:-$root/.deps}
toolchain=$root/cmake/mingw-w64-x86_64.cmake
work=$prefix/src
mkdir -p "$prefix" "$work"

fetch() { # fetch PACKAGE -> prints the unpacked source folder
  local pkg=$1
  local dir
  dir=$(find "$work" -maxdepth 1 -type d -name "$pkg-[0-9]*" | head -n 1)
  if [ -z "$dir" ]; then
    (cd "$work" && apt-get source -qq "$pkg" >/dev/null 2>&1) || {
      echo "apt-get source $pkg failed (are deb-src entries enabled? run tools/install-packages.sh)" >&2
      exit 1
    }
    dir=$(find "$work" -maxdepth 1 -type d -name "$pkg-[0-9]*" | head -n 1)
  fi
  echo "$dir"
}

cmake_build() { # cmake_build SOURCE BUILD ARGS...
  local src=$1 bld=$2
  shift 2
  cmake -S "$src" -B "$bld" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_PREFIX_PATH="$prefix" "$@" >"$bld.log" 2>&1 || { tail -30 "$bld.log"; exit 1; }
  cmake --build "$bld" >>"$bld.log" 2>&1 || { tail -30 "$bld.log"; exit 1; }
  cmake --install "$bld" >>"$bld.log" 2>&1 || { tail -30 "$bld.log"; exit 1; }
}

if [ ! -f "$prefix/lib/libjpeg.a" ]; then
  echo "Building libjpeg-turbo for Windows x86-64..."
  src=$(fetch libjpeg-turbo)
  cmake_build "$src" "$work/build-jpeg" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF
fi

if [ ! -f "$prefix/lib/libzip.a" ]; then
  echo "Building libzip for Windows x86-64..."
  src=$(fetch libzip)
  cmake_build "$src" "$work/build-zip" -DBUILD_SHARED_LIBS=OFF \
    -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF \
    -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF -DENABLE_BZIP2=OFF \
    -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF \
    -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
fi

if [ ! -f "$prefix/lib/libgtest.a" ]; then
  echo "Building GoogleTest for Windows x86-64..."
  cmake_build /usr/src/googletest "$work/build-gtest" -DBUILD_SHARED_LIBS=OFF \
    -DINSTALL_GTEST=ON -Dgtest_disable_pthreads=OFF
fi
