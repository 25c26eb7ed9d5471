#!/usr/bin/env python3
"""frameprobe monitor under load: how many 1080p25 H.264 channels one machine
watches in real time, and its memory over a long run.

    bench_monitor.py FRAMEPROBE [--most N] [--seconds S] [--memory-minutes M]

Channels: ffmpeg sends a looped 1080p25 clip to N UDP ports on the loopback
(stream copy, so the senders cost little) while one monitor watches them all;
N keeps up when, after a warm-up, no channel measures fewer than every frame.
Memory: one channel for M minutes, its resident size sampled every 10 s."""
import argparse
import os
import re
import signal
import socket
import subprocess
import tempfile
import time
import urllib.request


def free_port(kind):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def metrics(port):
    with urllib.request.urlopen(f"http://127.0.0.1:{port}/metrics", timeout=5) as r:
        return r.read().decode()


def values(page, name):
    return {m.group(1): float(m.group(2)) for m in re.finditer(name + r'\{channel="([^"]+)"\} (\S+)', page)}


def rss_mib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


class Watch:
    """N senders and one monitor; stops them all on exit."""

    def __init__(self, binary, clip, channels, work):
        self.metrics_port = free_port(socket.SOCK_STREAM)
        ports = [free_port(socket.SOCK_DGRAM) for _ in range(channels)]
        self.monitor = subprocess.Popen(
            [binary, "monitor", "-o", os.path.join(work, "records.jsonl"), "--metrics", f"127.0.0.1:{self.metrics_port}"]
            + [f"c{i}=udp://127.0.0.1:{p}" for i, p in enumerate(ports)], stderr=subprocess.DEVNULL)
        time.sleep(0.5)
        self.senders = [subprocess.Popen(["ffmpeg", "-hide_banner", "-loglevel", "error", "-re", "-stream_loop", "-1",
                                          "-i", clip, "-c", "copy", "-f", "mpegts", f"udp://127.0.0.1:{p}?pkt_size=1316"])
                        for p in ports]

    def close(self):
        for s in self.senders:
            s.terminate()
            s.wait()
        self.monitor.send_signal(signal.SIGTERM)
        self.monitor.wait()


def keeps_up(binary, clip, channels, seconds, work):
    watch = Watch(binary, clip, channels, work)
    try:
        time.sleep(8)  # connection, probe and the first decisions on skipping
        before = values(metrics(watch.metrics_port), "frameprobe_frames_measured_total")
        skipped_before = values(metrics(watch.metrics_port), "frameprobe_frames_skipped_total")
        time.sleep(seconds)
        page = metrics(watch.metrics_port)
        measured = values(page, "frameprobe_frames_measured_total")
        skipped = values(page, "frameprobe_frames_skipped_total")
        every = values(page, "frameprobe_measure_every")
    finally:
        watch.close()
    fps = [(measured.get(c, 0) - before.get(c, 0)) / seconds for c in measured]
    skips = sum(skipped.get(c, 0) - skipped_before.get(c, 0) for c in skipped)
    ok = len(fps) == channels and min(fps) >= 24 and skips == 0 and max(every.values(), default=1) == 1
    print(f"{channels:>3} channels: measured {min(fps, default=0):.1f}-{max(fps, default=0):.1f} frames/s each, "
          f"{skips:.0f} skipped, measure every {max(every.values(), default=0):.0f}: "
          f"{'real time' if ok else 'falls behind'}", flush=True)
    return ok


def memory(binary, clip, minutes, work):
    watch = Watch(binary, clip, 1, work)
    samples = []
    try:
        end = time.time() + minutes * 60
        while time.time() < end:
            time.sleep(10)
            samples.append(rss_mib(watch.monitor.pid))
        page = metrics(watch.metrics_port)
    finally:
        watch.close()
    measured = values(page, "frameprobe_frames_measured_total").get("c0", 0)
    skipped = values(page, "frameprobe_frames_skipped_total").get("c0", 0)
    tail = samples[len(samples) // 10:]  # after the first tenth
    print(f"memory over {minutes:g} min, one 1080p25 channel: RSS first {samples[0]:.1f} MiB, "
          f"after the first tenth {min(tail):.1f}-{max(tail):.1f} MiB, last {samples[-1]:.1f} MiB; "
          f"{measured:.0f} frames measured, {skipped:.0f} skipped", flush=True)
    print("rss_mib every 10 s: " + " ".join(f"{s:.1f}" for s in samples), flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("binary")
    parser.add_argument("--most", type=int, default=16)
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--memory-minutes", type=float, default=30)
    parser.add_argument("--skip-channels", action="store_true")
    a = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        clip = os.path.join(work, "clip.ts")
        subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                        "testsrc2=size=1920x1080:rate=25", "-f", "lavfi", "-i", "sine", "-t", "20",
                        "-c:v", "libx264", "-preset", "veryfast", "-g", "50", "-b:v", "8M", "-c:a", "mp2",
                        "-f", "mpegts", clip], check=True)
        if not a.skip_channels:
            best = 0
            for channels in [n for n in (1, 2, 4, 6, 8, 10, 12, 16, 24, 32) if n <= a.most]:
                if not keeps_up(a.binary, clip, channels, a.seconds, work):
                    break
                best = channels
            print(f"1080p25 channels watched in real time: {best}", flush=True)
        if a.memory_minutes > 0:
            memory(a.binary, clip, a.memory_minutes, work)


if __name__ == "__main__":
    main()
