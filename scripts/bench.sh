#!/usr/bin/env bash
# Measures speed: micro-benchmarks of the indicators and kernels, then frames
# per second and peak memory of the whole program at 352x288, 1920x1080 and
# 3840x2160, on one thread and on every thread; then as many independent
# one-thread runs at once ("N x 1"), the most that N threads could give on this
# machine; then ffmpeg's analysis filters when installed. FRAMES sets the clip
# length; each figure is the best of RUNS runs (default 3); KERNELS=0 skips the
# micro-benchmarks.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh" build -DCMAKE_BUILD_TYPE=Release
[ "${KERNELS:-1}" = 0 ] || "$root/build/bench/frameprobe_bench" --benchmark_min_time=0.2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
all=$(getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2)
echo
printf '%-10s %7s %8s %12s %10s\n' size frames threads "frames/s" "peak MiB"
for size in 352x288 1920x1080 3840x2160; do
  w=${size%x*}
  h=${size#*x}
  case $size in
    352x288) frames=${FRAMES:-4000} ;;
    1920x1080) frames=${FRAMES:-400} ;;
    *) frames=${FRAMES:-100} ;;
  esac
  "$root/build/frameprobe-sample" clip.yuv "$w" "$h" "$frames" noise:0-9 blocky:10-19 freeze:20-29 flicker >/dev/null
  for threads in 1 "$all"; do
    python3 - "$root/build/frameprobe" "$w" "$h" "$frames" "$threads" "$size" <<'PY'
import os, resource, subprocess, sys, time
binary, w, h, frames, threads, size = sys.argv[1:]
env = dict(os.environ, FRAMEPROBE_THREADS=threads)
seconds = float("inf")
for attempt in range(int(os.environ.get("RUNS", "3"))):  # the best run: the machine is shared
    start = time.perf_counter()
    subprocess.run([binary, "clip.yuv", w, h], stdout=subprocess.DEVNULL, env=env, check=True)
    seconds = min(seconds, time.perf_counter() - start)
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
peak_mib = peak / 1024 if sys.platform != "darwin" else peak / 1048576
print(f"{size:<10} {frames:>7} {threads:>8} {int(frames) / seconds:>12.1f} {peak_mib:>10.1f}")
PY
  done
  # The machine's own ceiling for the all-threads row: as many one-thread runs
  # at once, each in its own folder, sharing nothing but the hardware.
  python3 - "$root/build/frameprobe" "$w" "$h" "$frames" "$all" "$size" <<'PY'
import os, subprocess, sys, tempfile, time
binary, w, h, frames, runs, size = sys.argv[1:]
env = dict(os.environ, FRAMEPROBE_THREADS="1")
clip = os.path.abspath("clip.yuv")
folders = [tempfile.mkdtemp(dir=".") for _ in range(int(runs))]
seconds = float("inf")
for attempt in range(int(os.environ.get("RUNS", "3"))):
    start = time.perf_counter()
    procs = [subprocess.Popen([binary, clip, w, h], stdout=subprocess.DEVNULL, env=env, cwd=d) for d in folders]
    if any(p.wait() != 0 for p in procs):
        sys.exit("an independent run failed")
    seconds = min(seconds, time.perf_counter() - start)
fps = int(runs) * int(frames) / seconds
print(f"{size:<10} {frames:>7} {runs + ' x 1':>8} {fps:>12.1f}")
PY
  if command -v ffmpeg >/dev/null; then
    # The analysis filters a video engineer would chain for the same defects, on part of the clip.
    chain=siti,blockdetect,blurdetect,idet,signalstats,blackdetect,freezedetect,cropdetect
    n=$(( frames < 30 ? frames : 30 ))
    python3 - "$w" "$h" "$n" "$chain" "$size" <<'PY'
import subprocess, sys, time
w, h, n, chain, size = sys.argv[1:]
start = time.perf_counter()
subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-f", "rawvideo", "-pix_fmt", "yuv420p",
                "-s", f"{w}x{h}", "-i", "clip.yuv", "-frames:v", n, "-vf", chain, "-f", "null", "-"], check=True)
fps = int(n) / (time.perf_counter() - start)
print(f"{size:<10} {n:>7} {'ffmpeg':>8} {fps:>12.1f}")
PY
  fi
  rm -f clip.yuv
done

# Compressed input against decoding alone, and the cost of seeking (COMPRESSED=0 skips it).
[ "${COMPRESSED:-1}" = 0 ] || bash "$root/scripts/bench-compressed.sh" "$root/build"
