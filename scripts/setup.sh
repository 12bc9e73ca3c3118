#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and benchmark.
# Idempotent: when everything is present it prints nothing and touches nothing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libwebp-dev libpng-dev libjpeg62-turbo-dev zlib1g-dev
  python3
  # The frei0r module: frei0r.h, and the video tools its tests run it in
  # (FFmpeg, melt, GStreamer's frei0r element and gst-launch).
  frei0r-plugins-dev ffmpeg melt gstreamer1.0-plugins-bad gstreamer1.0-tools
  # The fuzz build: clang with libFuzzer and the sanitizer runtimes.
  clang libclang-rt-14-dev
  # The Windows build: the cross compiler, Debian's source packages of the
  # libraries (unpacked by dpkg-source; nasm assembles libjpeg-turbo's SIMD
  # code), Wine to run the result, pefile to inspect it.
  g++-mingw-w64-x86-64-posix dpkg-dev nasm wine wine64 python3-pefile
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
