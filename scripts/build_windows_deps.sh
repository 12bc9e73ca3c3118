#!/usr/bin/env bash
# Cross-builds the plug-in's one third-party library, libwebp, as a static
# library for 64-bit Windows from Debian's source package, and installs it
# into PREFIX (default build/windows-deps/prefix). Does nothing when it is
# already there.
set -euo pipefail
cd "$(dirname "$0")/.."

deps=build/windows-deps
prefix=${1:-$deps/prefix}
if [ -f "$prefix/lib/libwebp.a" ] && [ -f "$prefix/include/webp/encode.h" ]; then
  exit 0
fi

source_dir=$(bash scripts/fetch_webp_source.sh "$deps/src")
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$source_dir" -B "$deps/libwebp-build" \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$(realpath -m "$prefix")" \
  -DBUILD_SHARED_LIBS=OFF \
  -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF -DWEBP_BUILD_DWEBP=OFF \
  -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
  -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF \
  -DWEBP_BUILD_LIBWEBPMUX=OFF >/dev/null
cmake --build "$deps/libwebp-build" -j "$jobs" >/dev/null
cmake --install "$deps/libwebp-build" >/dev/null
