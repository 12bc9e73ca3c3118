#!/usr/bin/env bash
# Runs the benchmarks behind the README's "Performance" figures on the
# release build, each three times (medians shown). Close other work first:
# on a shared machine, compare figures from one run only.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build.sh release >/dev/null
bench=build/release/bench
run() {
  "$bench/$1" --benchmark_filter="$2" --benchmark_min_time=2 \
    --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2>/dev/null |
    grep -E '^Benchmark|median'
}

echo "== whole frame: defaults, codec round trip of the same render, host and plug-in time"
run render_bench 'BM_RenderDefaults/'
echo "== noise field"
run noise_bench 'BM_FbmPerSample|BM_FbmRow|BM_SampleSpan'
echo "== stages at 1920x1080"
run color_compression_bench 'BM_ColorGlitch|BM_CompressionAndDither'
run channel_stages_bench 'BM_Transition|BM_ChannelSplitDefaults|BM_ChannelScaleDefaults'
run image_stages_bench '.'
echo "== PNG writer on the default full-HD render"
run image_io_bench '.'
echo "== host call kinds of a default full-HD frame (ms per frame)"
"$bench/render_bench" --benchmark_filter='ByCall/1920' --benchmark_min_time=2 \
  --benchmark_format=json 2>/dev/null |
  python3 -c '
import json, sys
for b in json.load(sys.stdin)["benchmarks"]:
    for key, value in b.items():
        if isinstance(value, float) and key not in ("cpu_time", "items_per_second"):
            print(f"  {key:28s} {value:9.2f}")'
