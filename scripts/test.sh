#!/usr/bin/env bash
# Installs what the project needs, then builds and runs every test:
# the optimised build, the AddressSanitizer + UndefinedBehaviorSanitizer
# build, the ThreadSanitizer build of the multi-threaded tests, a bounded
# run of each fuzz target, and the Windows build with its binary checks and
# its comparison under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1}
jobs=$(nproc 2>/dev/null || echo 2)

run_suite() {
  local flavour=$1; shift
  echo "== $flavour build =="
  bash scripts/build.sh "$flavour"
  echo "== $flavour tests =="
  ctest --test-dir "build/$flavour" --output-on-failure -j "$jobs" "$@"
}

run_suite release
run_suite asan
# Thread-safety: the tests that drive stages and the host on several threads,
# and the exactness checks that must hold in this build's code too.
run_suite tsan -R 'Thread|thread|Concurren|concurren|golden|AllColours'
# The picture reader and the settings parser against fuzzed input, about a
# minute each.
bash scripts/fuzz.sh 60
# The shipped form: Corvexel.aex cross-built for Windows, checked under Wine.
bash scripts/test_windows.sh
