#!/usr/bin/env bash
# Cross-builds the third-party libraries of the Windows build as static
# libraries for 64-bit Windows, each from Debian's own source package at the
# version of the Linux build's -dev package, so both builds decode and encode
# alike: libwebp (the plug-in's glitch slice), and zlib, libpng and
# libjpeg-turbo (the command line's image files). Installs them into PREFIX
# (default build/windows-deps/prefix); a library already there is skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

deps=build/windows-deps
prefix=$(realpath -m "${1:-$deps/prefix}")
toolchain="$PWD/cmake/mingw-w64-x86_64.cmake"
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p "$prefix/lib" "$prefix/include"

# cmake_library NAME SOURCE_DIR CMAKE_OPTIONS...: configure, build, install.
cmake_library() {
  local name=$1 source_dir=$2; shift 2
  cmake -S "$source_dir" -B "$deps/$name-build" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
    -DBUILD_SHARED_LIBS=OFF "$@" >/dev/null
  cmake --build "$deps/$name-build" -j "$jobs" >/dev/null
  cmake --install "$deps/$name-build" >/dev/null
}

if [ ! -f "$prefix/lib/libwebp.a" ]; then
  source_dir=$(bash scripts/fetch_debian_source.sh libwebp libwebp-dev "$deps/src")
  cmake_library libwebp "$source_dir" \
    -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF -DWEBP_BUILD_DWEBP=OFF \
    -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
    -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF \
    -DWEBP_BUILD_LIBWEBPMUX=OFF
fi

if [ ! -f "$prefix/lib/libz.a" ]; then
  # Only zlib's static library, installed as a plain libz.a.
  source_dir=$(bash scripts/fetch_debian_source.sh zlib zlib1g-dev "$deps/src")
  cmake -S "$source_dir" -B "$deps/zlib-build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$deps/zlib-build" --target zlibstatic -j "$jobs" >/dev/null
  cp "$deps/zlib-build/libzlibstatic.a" "$prefix/lib/libz.a"
  cp "$source_dir/zlib.h" "$deps/zlib-build/zconf.h" "$prefix/include/"
fi

if [ ! -f "$prefix/lib/libpng16.a" ] && [ ! -f "$prefix/lib/libpng.a" ]; then
  source_dir=$(bash scripts/fetch_debian_source.sh libpng1.6 libpng-dev "$deps/src")
  cmake_library libpng "$source_dir" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF -DPNG_BUILD_ZLIB=OFF \
    -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include"
fi

if [ ! -f "$prefix/lib/libjpeg.a" ]; then
  # With nasm its SIMD code is built as on Debian's own library; the SIMD
  # paths give the same bytes as the plain C ones.
  source_dir=$(bash scripts/fetch_debian_source.sh libjpeg-turbo libjpeg62-turbo-dev "$deps/src")
  cmake_library libjpeg-turbo "$source_dir" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF -DWITH_SIMD=ON -DREQUIRE_SIMD=ON
fi
