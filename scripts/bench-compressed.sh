#!/usr/bin/env bash
# Compressed input against decoding alone: for clips made here with ffmpeg
# (H.264 1080p25, HEVC 10-bit 1080p, H.264 2160p), the wall and CPU seconds of
# `ffmpeg -threads N -i IN -f null -` and of `frameprobe IN --no-log -q -o
# /dev/null` with the same N threads, at the machine's CPU level and with
# FRAMEPROBE_CPU=avx2. Then the cost of seeking: a 10-frame segment at the
# start and at the end of a 2000-frame H.264 file in MP4, Matroska and MPEG-TS,
# on a key frame and 30 frames past one, and the cluster plan's ten segments
# against one whole run. Each figure is the best of RUNS runs
# (default 3). Usage: scripts/bench-compressed.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
probe=$build/frameprobe
command -v ffmpeg >/dev/null || { echo "bench-compressed: the ffmpeg program is needed to make the clips" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
threads=$(getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2)
make_clip() {  # NAME SIZE FRAMES CODEC-ARGS...: ffmpeg's test pattern with grain, so that it costs what camera video costs
  local name=$1 size=$2 frames=$3
  shift 3
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=$size:rate=25" \
    -vf "noise=alls=12:allf=t" -frames:v "$frames" "$@" "$name"
}
make_clip h264-1080p.mp4 1920x1080 300 -c:v libx264 -preset medium
make_clip hevc10-1080p.mkv 1920x1080 150 -c:v libx265 -preset ultrafast -pix_fmt yuv420p10le -x265-params log-level=error
make_clip h264-2160p.mp4 3840x2160 60 -c:v libx264 -preset veryfast
make_clip h264-2000.mp4 1920x1080 2000 -c:v libx264 -preset veryfast -g 50

# The best of RUNS runs of a command: "WALL CPU" in seconds (CPU: user + system of the process and its children).
measure() {
  python3 - "$@" <<'PY'
import os, resource, subprocess, sys, time
best = None
for attempt in range(int(os.environ.get("RUNS", "3"))):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, check=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    if best is None or wall < best[0]:
        best = (wall, cpu)
print(f"{best[0]:.3f} {best[1]:.3f}")
PY
}

echo
printf '%-18s %6s %8s %10s %10s %10s %10s %8s %8s\n' input frames cpu "decode fps" "decode cpu" "probe fps" "probe cpu" "fps x" "cpu x"
for clip in h264-1080p.mp4:300 hevc10-1080p.mkv:150 h264-2160p.mp4:60; do
  name=${clip%:*}
  frames=${clip#*:}
  read -r dwall dcpu < <(measure ffmpeg -hide_banner -loglevel error -threads "$threads" -i "$name" -f null -)
  for level in native avx2; do
    if [ "$level" = native ]; then
      read -r pwall pcpu < <(FRAMEPROBE_THREADS=$threads measure "$probe" "$name" --no-log -q -o /dev/null)
    else
      read -r pwall pcpu < <(FRAMEPROBE_CPU=avx2 FRAMEPROBE_THREADS=$threads measure "$probe" "$name" --no-log -q -o /dev/null)
    fi
    python3 - "$name" "$frames" "$level" "$dwall" "$dcpu" "$pwall" "$pcpu" <<'PY'
import sys
name, frames, level, dwall, dcpu, pwall, pcpu = sys.argv[1:]
f = int(frames)
dwall, dcpu, pwall, pcpu = map(float, (dwall, dcpu, pwall, pcpu))
print(f"{name:<18} {f:>6} {level:>8} {f / dwall:>10.1f} {dcpu:>10.2f} {f / pwall:>10.1f} {pcpu:>10.2f} "
      f"{dwall / pwall:>7.2f}x {pcpu / dcpu:>7.2f}x")
PY
  done
done

echo
printf '%-34s %10s %10s\n' "2000-frame H.264 1080p (GOP 50)" "wall s" "cpu s"
row() {  # LABEL COMMAND...
  local label=$1
  shift
  read -r wall cpu < <(measure "$@")
  printf '%-34s %10.2f %10.2f\n' "$label" "$wall" "$cpu"
}
# Key frames stand every 49 frames (0, ..., 1911, 1960): 0 and 1960 start on one, 30 and 1990
# thirty frames past one, which must be decoded to reach them.
ffmpeg -hide_banner -loglevel error -y -i h264-2000.mp4 -c copy h264-2000.mkv
ffmpeg -hide_banner -loglevel error -y -i h264-2000.mp4 -c copy h264-2000.ts
for container in mp4 mkv ts; do
  for start in 0 30 1960 1990; do
    row "$container: 10 frames from $start" env FRAMEPROBE_THREADS=1 "$probe" h264-2000.$container --no-log -q \
      -o /dev/null --start $start --frames 10
  done
done
row "whole run, every indicator" env FRAMEPROBE_THREADS=1 "$probe" h264-2000.mp4 --no-log -q -o /dev/null
# The cluster plan's segments, one after another on one thread each, as its tasks run them.
cat > plan.sh <<EOF
for start in 0 200 400 600 800 1000 1200 1400 1600 1800; do
  FRAMEPROBE_THREADS=1 "$probe" h264-2000.mp4 --indicators blur,freezing --format jsonl -q --origin 0 \\
    --start \$start --frames 200 -o part-\$start.jsonl
done
EOF
row "10 segments (blur, freezing), one thread" bash plan.sh
row "whole run (blur, freezing), one thread" env FRAMEPROBE_THREADS=1 "$probe" h264-2000.mp4 --no-log -q -o /dev/null --indicators blur,freezing
