#!/usr/bin/env bash
# Compressed input against decoding alone: for clips made here with ffmpeg
# (H.264 1080p25, HEVC 10-bit 1080p, H.264 2160p), the wall and CPU seconds of
# `ffmpeg -threads N -i IN -f null -` and of `frameprobe IN --no-log -q -o
# /dev/null` with the same N threads, at the machine's CPU level and with
# FRAMEPROBE_CPU=avx2, side by side. The three commands take turns, RUNS times
# (default 5), so that all see the same load on a shared machine; each figure is
# the median of its runs, and the load average is printed before and after.
# Then the cost of seeking (SEEKING=0 skips it): a 10-frame segment at the
# start and at the end of a 2000-frame H.264 file in MP4, Matroska and MPEG-TS,
# on a key frame and 30 frames past one, and the cluster plan's ten segments
# against one whole run, each the best of RUNS runs (default 3).
# CLIPS=DIR keeps the clips in DIR and reuses those already there.
# Usage: scripts/bench-compressed.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
probe=$build/frameprobe
command -v ffmpeg >/dev/null || { echo "bench-compressed: the ffmpeg program is needed to make the clips" >&2; exit 1; }
if [ -n "${CLIPS:-}" ]; then
  mkdir -p "$CLIPS"
  work=$(cd "$CLIPS" && pwd)
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
cd "$work"
threads=$(getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2)
make_clip() {  # NAME SIZE FRAMES CODEC-ARGS...: ffmpeg's test pattern with grain, so that it costs what camera video costs
  local name=$1 size=$2 frames=$3
  shift 3
  [ -s "$name" ] && [ -n "${CLIPS:-}" ] && return
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=$size:rate=25" \
    -vf "noise=alls=12:allf=t" -frames:v "$frames" "$@" "$name"
}
make_clip h264-1080p.mp4 1920x1080 300 -c:v libx264 -preset medium
make_clip hevc10-1080p.mkv 1920x1080 150 -c:v libx265 -preset ultrafast -pix_fmt yuv420p10le -x265-params log-level=error
make_clip h264-2160p.mp4 3840x2160 60 -c:v libx264 -preset veryfast
[ "${SEEKING:-1}" = 0 ] || make_clip h264-2000.mp4 1920x1080 2000 -c:v libx264 -preset veryfast -g 50

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

# Decoding alone, then frameprobe at both CPU levels, in turns: medians of wall and CPU
# seconds (user + system of the process and its threads).
compare() {  # NAME FRAMES
  python3 - "$@" "$probe" "$threads" <<'PY'
import os, resource, statistics, subprocess, sys, time
name, frames, probe, threads = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
decode = ["ffmpeg", "-hide_banner", "-loglevel", "error", "-threads", threads, "-i", name, "-f", "null", "-"]
measure = [probe, name, "--no-log", "-q", "-o", "/dev/null"]
env = dict(os.environ, FRAMEPROBE_THREADS=threads)
commands = {"decode": (decode, env), "native": (measure, env), "avx2": (measure, dict(env, FRAMEPROBE_CPU="avx2"))}
runs = {key: [] for key in commands}
for attempt in range(int(os.environ.get("RUNS", "5"))):
    for key, (command, command_env) in commands.items():
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        subprocess.run(command, env=command_env, stdout=subprocess.DEVNULL, check=True)
        wall = time.perf_counter() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        runs[key].append((wall, after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime))
def median(key, i):
    return statistics.median(run[i] for run in runs[key])
dwall, dcpu = median("decode", 0), median("decode", 1)
for level in ("native", "avx2"):
    pwall, pcpu = median(level, 0), median(level, 1)
    print(f"{name:<18} {frames:>6} {level:>8} {frames / dwall:>10.1f} {dcpu:>10.2f} {frames / pwall:>10.1f} {pcpu:>10.2f} "
          f"{dwall / pwall:>7.2f}x {pcpu / dcpu:>7.2f}x")
PY
}

echo
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || uptime)"
printf '%-18s %6s %8s %10s %10s %10s %10s %8s %8s\n' input frames cpu "decode fps" "decode cpu" "probe fps" "probe cpu" "fps x" "cpu x"
for clip in h264-1080p.mp4:300 hevc10-1080p.mkv:150 h264-2160p.mp4:60; do
  compare "${clip%:*}" "${clip#*:}"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || uptime)"
[ "${SEEKING:-1}" = 0 ] && exit 0

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
