#!/usr/bin/env bash
# Measures speed: micro-benchmarks of the indicators and kernels, then frames
# per second and peak memory of the whole program at 352x288, 1920x1080 and
# 3840x2160, on one thread and on every thread; then as many independent
# one-thread runs at once ("N x 1"), the most that N threads could give on this
# machine; then ffmpeg's analysis filters when installed. FRAMES sets the clip
# length; each figure is the best of RUNS runs (default 3); KERNELS=0 skips the
# micro-benchmarks, WHOLE=0 the whole-program table. Then the memory of long
# runs: legacy and CSV runs over MEMORY_FRAMES (default 10 million) small frames,
# resident memory sampled (Linux; MEMORY_FRAMES=0 skips it); the library's C and
# Python clients against the program on the same 1080p clip; and what the HTML
# report costs: wall time of a JSON run with and without --report.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" --tests  # Google Benchmark and the ffmpeg program
bash "$root/scripts/build.sh" build -DCMAKE_BUILD_TYPE=Release -DFRAMEPROBE_BENCH=ON
[ "${KERNELS:-1}" = 0 ] || "$root/build/bench/frameprobe_bench" --benchmark_min_time=0.2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
all=$(getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2)
echo
printf '%-10s %7s %8s %12s %10s\n' size frames threads "frames/s" "peak MiB"
for size in $([ "${WHOLE:-1}" = 0 ] || echo 352x288 1920x1080 3840x2160); do
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

# Memory over a long run: rows are not kept when nothing needs them, so the
# resident memory stays flat however many frames pass.
memory_frames=${MEMORY_FRAMES:-10000000}
if [ "$memory_frames" != 0 ] && [ -r /proc/self/status ]; then
  echo
  printf '%-8s %10s %10s %10s %10s %10s\n' format frames "MiB at 10%" "at 50%" "at 100%" "peak MiB"
  for format in legacy csv; do
    python3 - "$root/build/frameprobe" "$format" "$memory_frames" <<'PY'
import subprocess, sys, time
binary, fmt, frames = sys.argv[1:]
args = [binary, "-s", "16x16", "--frames", frames, "--format", fmt, "-o", "/dev/null", "-q", "--no-log", "/dev/zero"]
if fmt == "legacy":
    args[-2:-1] = ["--log", "/dev/null"]
proc = subprocess.Popen(args)
samples = []  # (seconds, resident KiB)
start = time.perf_counter()
while proc.poll() is None:
    try:
        with open(f"/proc/{proc.pid}/status") as status:
            rss = next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))
        samples.append((time.perf_counter() - start, rss))
    except (OSError, StopIteration):
        pass
    time.sleep(0.5)
if proc.returncode != 0 or not samples:
    sys.exit(f"the {fmt} run failed")
def at(share):
    return samples[min(len(samples) - 1, int(share * len(samples)))][1] / 1024
peak = max(rss for _, rss in samples) / 1024
print(f"{fmt:<8} {frames:>10} {at(0.1):>10.1f} {at(0.5):>10.1f} {at(0.999):>10.1f} {peak:>10.1f}")
PY
  done
fi

# The library's clients against the program on the same 1080p clip, every
# indicator, one thread and every thread: a C client pushing frames through the
# C API, and Python pushing numpy views of a memory-mapped clip (no copies on
# its side). CPU time per frame is the cost, less moved by a busy machine than
# frames per second.
frames=${FRAMES:-400}
"$root/build/frameprobe-sample" clip.yuv 1920 1080 "$frames" noise:0-9 blocky:10-19 freeze:20-29 flicker >/dev/null
echo
printf '%-22s %8s %10s %10s %12s %10s\n' 1920x1080 threads "frames/s" "vs program" "CPU ms/frame" "vs program"
python=$(command -v /usr/bin/python3 || command -v python3)  # the interpreter with numpy
for threads in 1 "$all"; do
  PYTHONPATH="$root/build/python" "$python" - "$root/build" "$frames" "$threads" <<'PY'
import os, resource, subprocess, sys, time
build, frames, threads = sys.argv[1], int(sys.argv[2]), sys.argv[3]
env = dict(os.environ, FRAMEPROBE_THREADS=threads)
runs = int(os.environ.get("RUNS", "3"))

def cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime

def best(command):  # the best wall time and the least CPU time of the runs
    seconds = cpu_seconds = float("inf")
    for attempt in range(runs):
        start, start_cpu = time.perf_counter(), cpu()
        subprocess.run(command, stdout=subprocess.DEVNULL, env=env, check=True)
        seconds = min(seconds, time.perf_counter() - start)
        cpu_seconds = min(cpu_seconds, cpu() - start_cpu)
    return frames / seconds, 1000 * cpu_seconds / frames

# Python reads each luma plane into one buffer, as the program does, and
# pushes it; it times itself from its first frame on, leaving out
# the interpreter's and numpy's start-up.
python_client = """
import resource, sys, time, numpy, frameprobe
def cpu():
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime
luma = numpy.empty((1080, 1920), numpy.uint8)
start, start_cpu = time.perf_counter(), cpu()
analyzer = frameprobe.Analyzer(1920, 1080, threads=int(sys.argv[1]))
with open("clip.yuv", "rb", buffering=0) as clip:
    while clip.readinto(luma) == luma.nbytes:
        analyzer.push(luma)
        clip.seek(luma.nbytes // 2, 1)  # past the chroma planes
analyzer.finish()
print(time.perf_counter() - start, cpu() - start_cpu)
"""

def best_python(threads):
    seconds = cpu_seconds = float("inf")
    for attempt in range(runs):
        out = subprocess.run([sys.executable, "-c", python_client, threads], capture_output=True, env=env,
                             check=True, text=True).stdout.split()
        seconds, cpu_seconds = min(seconds, float(out[0])), min(cpu_seconds, float(out[1]))
    return frames / seconds, 1000 * cpu_seconds / frames

program = best([f"{build}/frameprobe", "clip.yuv", "1920", "1080"])
results = [("program", program),
           ("C API (push_bench)", best([f"{build}/bench/push_bench", "clip.yuv", "1920", "1080", threads])),
           ("Python Analyzer.push", best_python(threads))]
for name, (fps, ms) in results:
    print(f"{name:<22} {threads:>8} {fps:>10.1f} {fps / program[0]:>9.3f}x {ms:>12.3f} {ms / program[1]:>9.3f}x")
PY
done
rm -f clip.yuv

# The report's cost: the same JSON run with and without --report, alternated so
# that the machine's drift falls on both, every thread, best of RUNS.
echo
printf '%-10s %7s %8s %10s %7s %8s %10s %7s %9s\n' size frames "json s" "+report s" ratio \
  "json CPU" "+report" ratio "page KiB"
for size in 352x288 1920x1080; do
  w=${size%x*}
  h=${size#*x}
  case $size in
    352x288) frames=${REPORT_FRAMES:-6000} ;;
    *) frames=${REPORT_FRAMES:-600} ;;
  esac
  "$root/build/frameprobe-sample" clip.yuv "$w" "$h" "$frames" noise blocky:10-19 freeze:20-29 black:100-110 \
    flicker:200-400 >/dev/null
  python3 - "$root/build/frameprobe" "$w" "$h" "$frames" "$size" <<'PY'
import os, resource, subprocess, sys, time
binary, w, h, frames, size = sys.argv[1:]
base = [binary, "-s", f"{w}x{h}", "--format", "json", "-o", "/dev/null", "--no-log", "-q", "clip.yuv"]
wall = {False: float("inf"), True: float("inf")}
cpu = dict(wall)  # user + system seconds, steadier than wall time on a busy machine
for attempt in range(int(os.environ.get("RUNS", "3"))):
    for report in (False, True):
        used = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        subprocess.run(base + (["--report", "report.html"] if report else []), check=True)
        wall[report] = min(wall[report], time.perf_counter() - start)
        now = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu[report] = min(cpu[report], now.ru_utime + now.ru_stime - used.ru_utime - used.ru_stime)
page = os.path.getsize("report.html") / 1024
print(f"{size:<10} {frames:>7} {wall[False]:>8.3f} {wall[True]:>10.3f} {wall[True] / wall[False]:>6.3f}x "
      f"{cpu[False]:>8.3f} {cpu[True]:>10.3f} {cpu[True] / cpu[False]:>6.3f}x {page:>9.0f}")
PY
  rm -f clip.yuv report.html
done
# frameprobe monitor: how many 1080p25 H.264 channels it watches in real time, and
# its memory over MONITOR_MINUTES (default 30) of one channel; MONITOR=0 skips it.
if [ "${MONITOR:-1}" != 0 ] && command -v ffmpeg >/dev/null; then
  echo
  python3 "$root/scripts/bench_monitor.py" "$root/build/frameprobe" --memory-minutes "${MONITOR_MINUTES:-30}"
fi
# Compressed input against decoding alone, and the cost of seeking (COMPRESSED=0 skips it).
[ "${COMPRESSED:-1}" = 0 ] || bash "$root/scripts/bench-compressed.sh" "$root/build"
