#!/usr/bin/env bash
# Measures speed: micro-benchmarks of every spatial indicator, then frames per
# second of the whole program on a generated 1920x1080 clip.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh" build -DCMAKE_BUILD_TYPE=Release
"$root/build/bench/frameprobe_bench" --benchmark_min_time=0.2
frames=${FRAMES:-50}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$root/build/frameprobe-sample" clip.yuv 1920 1080 "$frames" noise:0-9 flicker
for threads in 1 "$(nproc)"; do
  start=$(date +%s.%N)
  FRAMEPROBE_THREADS=$threads "$root/build/frameprobe" clip.yuv 1920 1080 >/dev/null
  end=$(date +%s.%N)
  awk -v f="$frames" -v s="$start" -v e="$end" -v t="$threads" \
    'BEGIN { printf "1920x1080, %d frames, %d thread(s): %.1f frames per second\n", f, t, f / (e - s) }'
done
