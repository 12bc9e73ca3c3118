#!/usr/bin/env bash
# Runs each libFuzzer target for a bounded time (default 60 s each), starting
# from the seed corpus in tests/fuzz/corpus/. New inputs go to a scratch
# corpus under build/fuzz, so the repository is never changed; a crash
# stops the run with the target's report and the input that caused it
# (turn it into an ordinary test case).
#   usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
bash scripts/build.sh fuzz
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

run_target() {
  local target=$1 seeds=$2; shift 2
  local scratch="build/fuzz/corpus-$target" artifacts="build/fuzz/artifacts-$target/"
  mkdir -p "$scratch" "$artifacts"
  echo "== fuzzing $target for $seconds s =="
  if ! "build/fuzz/tests/fuzz/$target" "$scratch" "$seeds" -max_total_time="$seconds" \
      -artifact_prefix="$artifacts" -print_final_stats=1 "$@" >"build/fuzz/$target.log" 2>&1; then
    tail -60 "build/fuzz/$target.log"
    echo "fuzz: $target failed; the input is in $artifacts" >&2
    exit 1
  fi
  grep -E '^stat::number_of_executed_units|^stat::new_units_added' "build/fuzz/$target.log" |
    sed "s/^/  $target: /"
}

# Pictures: a decoded picture may take up to 1 GiB (the size limit), and a
# slow input is one that takes over 30 s.
run_target image_reader_fuzz tests/fuzz/corpus/image -rss_limit_mb=4096 -malloc_limit_mb=4096 \
  -timeout=30 -max_len=65536
run_target settings_fuzz tests/fuzz/corpus/settings -timeout=10 -max_len=4096
