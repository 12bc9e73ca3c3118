#!/usr/bin/env bash
# Configures and builds one flavour of the project.
#   scripts/build.sh release   optimised build in build/release
#   scripts/build.sh asan      AddressSanitizer + UndefinedBehaviorSanitizer in build/asan
#   scripts/build.sh tsan      ThreadSanitizer in build/tsan
#   scripts/build.sh windows   Corvexel.aex and corvexel.exe for 64-bit Windows,
#                              cross-built with mingw-w64, in build/windows
#   scripts/build.sh fuzz      the libFuzzer targets (clang, AddressSanitizer +
#                              UndefinedBehaviorSanitizer) in build/fuzz
set -euo pipefail
cd "$(dirname "$0")/.."

flavour=${1:-release}
case "$flavour" in
  release) extra=(-DCMAKE_BUILD_TYPE=Release) ;;
  asan)    extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVEXEL_SANITIZE=address -DCORVEXEL_BUILD_BENCHMARKS=OFF) ;;
  tsan)    extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVEXEL_SANITIZE=thread -DCORVEXEL_BUILD_BENCHMARKS=OFF) ;;
  windows)
    bash scripts/build_windows_deps.sh
    extra=(-DCMAKE_BUILD_TYPE=Release
           -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake"
           -DCORVEXEL_DEPS_PREFIX="$PWD/build/windows-deps/prefix"
           -DCORVEXEL_BUILD_TESTS=OFF -DCORVEXEL_BUILD_BENCHMARKS=OFF) ;;
  fuzz)    extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang
                  -DCMAKE_CXX_COMPILER=clang++ -DCORVEXEL_SANITIZE=fuzz
                  -DCORVEXEL_BUILD_TESTS=OFF -DCORVEXEL_BUILD_BENCHMARKS=OFF)
           targets=(--target image_reader_fuzz settings_fuzz) ;;
  *) echo "usage: scripts/build.sh [release|asan|tsan|windows|fuzz]" >&2; exit 2 ;;
esac

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "build/$flavour" "${extra[@]}" >/dev/null
cmake --build "build/$flavour" -j "$jobs" ${targets[@]+"${targets[@]}"}
