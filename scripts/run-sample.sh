#!/usr/bin/env bash
# Installs what building and running needs, builds the program, its FFmpeg module and
# the sample maker (not the tests), makes a small synthetic clip and measures it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
FRAMEPROBE_TARGETS="frameprobe frameprobe-ffmpeg frameprobe-sample" \
  bash "$root/scripts/build.sh" build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DFRAMEPROBE_BENCH=OFF
mkdir -p "$root/build/sample"
cd "$root/build/sample"
"$root/build/frameprobe-sample" sample.yuv 352 288 25 freeze:10-16 black:20-21 flicker:0-9
"$root/build/frameprobe" sample.yuv 352 288
echo "Log written to $root/build/sample/metricsResultsCSV.csv"
