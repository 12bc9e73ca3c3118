#!/usr/bin/env bash
# Configures and builds one flavour of the project.
#   scripts/build.sh release   optimised build in build/release
#   scripts/build.sh asan      AddressSanitizer + UndefinedBehaviorSanitizer in build/asan
#   scripts/build.sh tsan      ThreadSanitizer in build/tsan
set -euo pipefail
cd "$(dirname "$0")/.."

flavour=${1:-release}
case "$flavour" in
  release) extra=(-DCMAKE_BUILD_TYPE=Release) ;;
  asan)    extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVEXEL_SANITIZE=address -DCORVEXEL_BUILD_BENCHMARKS=OFF) ;;
  tsan)    extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVEXEL_SANITIZE=thread -DCORVEXEL_BUILD_BENCHMARKS=OFF) ;;
  *) echo "usage: scripts/build.sh [release|asan|tsan]" >&2; exit 2 ;;
esac

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "build/$flavour" "${extra[@]}" >/dev/null
cmake --build "build/$flavour" -j "$jobs"
