#!/usr/bin/env python3
"""Measures the event rules on clips made here, and prints the tables of docs/qc.md.

    python3 scripts/calibrate-events.py [BUILD_DIR]    (default: build)

Clips without flicker (pans, zooms, noise, grain, scene cuts, fades, still pictures, and
frameprobe-sample's moving square with freezes and black flashes) must give no flicker
event; clips with brightness, block or small-region flicker at 2-15 Hz must each give one.
Black and freeze events are compared with ffmpeg's blackdetect and freezedetect on the
same frames. ffmpeg and frameprobe-sample only make and check the clips; frameprobe
measures them.
"""
import json
import re
import subprocess
import sys
import tempfile
from pathlib import Path

BUILD = Path(sys.argv[1] if len(sys.argv) > 1 else "build")
PROBE = BUILD / "frameprobe"
SAMPLE = BUILD / "frameprobe-sample"
SIZE, RATE, SECONDS = "320x240", 30, 3

# name, lavfi graph (one video output), whether it flickers
PICTURE = f"testsrc2=s=1280x720:r={RATE}:d={SECONDS}"
STILL = f"smptebars=s={SIZE}:r={RATE}:d={SECONDS}"
CLIPS = [
    ("still picture", STILL, False),
    ("pan", f"{PICTURE},crop=320:240:x='t*120':y=200", False),
    ("zoom (mandelbrot)", f"mandelbrot=s={SIZE}:r={RATE},trim=duration={SECONDS}", False),
    ("zoom on a still", f"smptebars=s=640x480:r={RATE}:d={SECONDS},zoompan=z='1+0.01*on':d=1:s={SIZE}:fps={RATE}", False),
    ("noise", f"{STILL},noise=alls=20:allf=t", False),
    ("film grain", f"testsrc2=s={SIZE}:r={RATE}:d={SECONDS},noise=alls=8:allf=t+u", False),
    # Cuts between shots of other colour and brightness, at the uneven times of an edit.
    ("scene cuts", f"testsrc2=s={SIZE}:r={RATE}:d={SECONDS},"
                   f"hue=H='if(lt(t,0.8),0,if(lt(t,1.9),3,if(lt(t,2.4),1,2)))':"
                   f"b='if(lt(t,0.8),-3,if(lt(t,1.9),3,if(lt(t,2.4),-3,0)))'", False),
    ("fade in and out", f"testsrc2=s={SIZE}:r={RATE}:d={SECONDS},fade=in:0:30,fade=out:60:30", False),
]
for hz in (2, 5, 10, 15):
    for amplitude in (0.03, 0.1):
        CLIPS.append((f"brightness {hz} Hz, {round(amplitude * 255)} levels",
                      f"{STILL},eq=brightness='{amplitude}*sin(2*PI*{hz}*t)':eval=frame", True))
    CLIPS.append((f"brightness {hz} Hz over motion",
                  f"testsrc2=s={SIZE}:r={RATE}:d={SECONDS},eq=brightness='0.1*sin(2*PI*{hz}*t)':eval=frame", True))
    CLIPS.append((f"block {hz} Hz", f"{STILL},drawbox=x=96:y=64:w=64:h=64:color=white:t=fill:"
                                    f"enable='lt(mod(t*{2 * hz},2),1)'", True))


def region(x, y, w, h, hz, levels):
    """A w x h region whose luma rises by `levels` for half of each cycle of hz."""
    on = f"between(X,{x},{x + w - 1})*between(Y,{y},{y + h - 1})*lt(mod(T*{2 * hz},2),1)"
    return f"format=yuv420p,geq=lum='clip(lum(X,Y)+{levels}*{on},0,255)':cb='cb(X,Y)':cr='cr(X,Y)'"


# Flicker in a small part of the picture: one whole 8x8 block of a still picture, and a
# 20x12 region across block edges over testsrc2's motion.
for hz in (2, 5, 10, 15):
    for levels in (8, 32):
        CLIPS.append((f"8x8 block {hz} Hz, {levels} levels", f"{STILL},{region(104, 72, 8, 8, hz, levels)}", True))
        CLIPS.append((f"20x12 region {hz} Hz, {levels} levels over motion",
                      f"testsrc2=s={SIZE}:r={RATE}:d={SECONDS},{region(203, 45, 20, 12, hz, levels)}", True))

# frameprobe-sample's clips (25 fps): a bright square moving across a textured picture,
# leaving it at one edge and entering at the other; "flicker" is one 8x8 block alternating
# between two levels on every frame.
SAMPLES = [
    ("sample 176x144", ["176", "144", "75"], False),
    ("sample 176x144, freeze and black flash", ["176", "144", "75", "freeze:10-34", "black:50-59"], False),
    ("sample 320x240, black flashes", ["320", "240", "75", "black:20-21", "black:40-42"], False),
    ("sample 176x144, flickering block", ["176", "144", "75", "flicker"], True),
]


def run(args):
    return subprocess.run([str(a) for a in args], capture_output=True, text=True, check=False)


def make(graph, path):
    result = run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i", graph, "-frames:v",
                  RATE * SECONDS, "-pix_fmt", "yuv420p", "-f", "yuv4mpegpipe", "-y", path])
    if result.returncode != 0:
        sys.exit(f"ffmpeg could not make {path}: {result.stderr}")


def events(path, *options):
    out = path.with_suffix(".json")
    result = run([PROBE, "-q", "--no-log", "--format", "json", "-o", out, *options, path])
    if result.returncode != 0:
        sys.exit(f"frameprobe failed on {path}: {result.stderr}")
    return json.loads(out.read_text())["events"]


def flicker_table(work):
    print("| clip | flicker in it | flicker events | frames in them | result |")
    print("|---|---|---|---|---|")
    hits = misses = false_alarms = clean = 0
    for index, (name, source, flickers) in enumerate(CLIPS + SAMPLES):
        path = work / f"clip{index}.y4m"
        if isinstance(source, list):
            made = run([SAMPLE, path, *source])
            if made.returncode != 0:
                sys.exit(f"frameprobe-sample failed: {made.stderr}")
        else:
            make(source, path)
        found = [e for e in events(path, "--indicators", "flickering") if e["type"] == "flicker"]
        frames = sum(e["end_frame"] - e["start_frame"] + 1 for e in found)
        if flickers:
            result = "hit" if found else "MISSED"
            hits, misses = hits + bool(found), misses + (not found)
        else:
            result = "FALSE ALARM" if found else "clean"
            false_alarms, clean = false_alarms + bool(found), clean + (not found)
        print(f"| {name} | {'yes' if flickers else 'no'} | {len(found)} | {frames} | {result} |")
    print(f"\nFlicker clips found: {hits} of {hits + misses}; clips without flicker with an event: "
          f"{false_alarms} of {false_alarms + clean}.\n")


def ffmpeg_spans(path, graph, pattern):
    """(start, end) frame spans an ffmpeg detection filter reports, end exclusive."""
    result = run(["ffmpeg", "-hide_banner", "-i", path, "-vf", graph, "-f", "null", "-"])
    text = result.stderr
    return [(round(float(a) * 25), round(float(b) * 25)) for a, b in re.findall(pattern, text)]


def black_freeze_table(work):
    path = work / "defects.y4m"
    made = run([SAMPLE, path, "320", "240", "150", "freeze:25-74", "black:100-124"])
    if made.returncode != 0:
        sys.exit(f"frameprobe-sample failed: {made.stderr}")
    ours = events(path, "--indicators", "blackout,freezing")
    black = ffmpeg_spans(path, "blackdetect=d=0.1", r"black_start:([\d.]+) black_end:([\d.]+)")
    # freezedetect reports start and end in separate lines.
    result = run(["ffmpeg", "-hide_banner", "-i", path, "-vf", "freezedetect=d=0.5,metadata=mode=print",
                  "-f", "null", "-"])
    starts = re.findall(r"freeze_start: ?([\d.]+)", result.stderr)
    ends = re.findall(r"freeze_end: ?([\d.]+)", result.stderr)
    freeze = [(round(float(a) * 25), round(float(b) * 25)) for a, b in zip(starts, ends)]
    print("| event | frameprobe frames | ffmpeg frames | start difference | end difference |")
    print("|---|---|---|---|---|")
    for kind, spans in (("black", black), ("freeze", freeze)):
        mine = [(e["start_frame"], e["end_frame"] + 1) for e in ours if e["type"] == kind]
        for (a, b), (c, d) in zip(mine, spans):
            print(f"| {kind} | {a}-{b - 1} | {c}-{d - 1} | {a - c} | {b - d} |")
        for a, b in mine[len(spans):]:
            print(f"| {kind} | {a}-{b - 1} | none | | |")
        for c, d in spans[len(mine):]:
            print(f"| {kind} | none | {c}-{d - 1} | | |")


def main():
    for tool in (PROBE, SAMPLE):
        if not tool.exists():
            sys.exit(f"{tool} is missing: build first (cmake --build {BUILD})")
    with tempfile.TemporaryDirectory() as folder:
        work = Path(folder)
        flicker_table(work)
        black_freeze_table(work)


if __name__ == "__main__":
    main()
