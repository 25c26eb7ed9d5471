#!/usr/bin/env bash
# Builds frameprobe, makes a small synthetic clip and measures it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh" build -DCMAKE_BUILD_TYPE=Release
mkdir -p "$root/build/sample"
cd "$root/build/sample"
"$root/build/frameprobe-sample" sample.yuv 352 288 25 freeze:10-16 black:20-21 flicker:0-9
"$root/build/frameprobe" sample.yuv 352 288
echo "Log written to $root/build/sample/metricsResultsCSV.csv"
