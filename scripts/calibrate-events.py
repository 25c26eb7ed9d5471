#!/usr/bin/env python3
"""Measures the event rules on clips made here, and prints the tables of docs/qc.md.

    python3 scripts/calibrate-events.py [BUILD_DIR] [--detectors]   (default: build; only the detectors' tables)

Clips without flicker (pans, zooms, noise, grain, scene cuts, fades, still pictures, and
frameprobe-sample's moving square with freezes and black flashes) must give no flicker
event; clips with brightness, block or small-region flicker at 2-15 Hz must each give one.
Black and freeze events are compared with ffmpeg's blackdetect and freezedetect on the
same frames. ffmpeg and frameprobe-sample only make and check the clips; frameprobe
measures them.

The detectors' table: clean clips of several kinds (pans, cuts, fades, grain, a drifting
gradient, white strobe frames, H.264 at 25 and 29.97 fps and a low bit rate) and clips with
black, constant-colour, bar, freeze and flicker stretches injected at known frames (down to
one frame, under grain, after compression, on either side, limited and full range), and
MP4s with packets dropped. Each injected stretch is a hit when one event of its type covers
it within 2 frames at each end (flicker: one period), a timing error when events of its type
cover part of it, a miss otherwise; an event of a family on no injected stretch is a false
event. ffmpeg's blackdetect, freezedetect and cropdetect run on the same clips as a column.
Not part of the test suite: it takes minutes.
"""
import json
import re
import subprocess
import sys
import tempfile
from pathlib import Path

ARGS = [a for a in sys.argv[1:] if not a.startswith("--")]
BUILD = Path(ARGS[0] if ARGS else "build")
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


D_SIZE, D_SECONDS = "320x240", 4
GRAIN = "noise=alls=6:allf=t"
PHOTO = "testsrc2=s=1280x720:r={r}:d={d},crop=320:240:x='t*40':y='t*20'"


def scene(rate, base="pan"):
    d = D_SECONDS
    return {"pan": PHOTO.format(r=rate, d=d),
            "bars": f"smptebars=s={D_SIZE}:r={rate}:d={d},drawbox=x='mod(t*80,300)':y=100:w=20:h=20:c=white:t=fill",
            "grain": f"testsrc2=s={D_SIZE}:r={rate}:d={d},{GRAIN}"}[base]


def window(a, b):
    return f"enable='between(n,{a},{b})'"


# A still picture (testsrc2's first frame, 1280x720) held for the whole clip.
STILL_PICTURE = "testsrc2=s=1280x720:r={r},trim=end_frame=1,loop=loop=-1:size=1,setpts=N/({r})/TB"


def flicker_region(x, y, w, h, hz, levels, first, last):
    """A w x h region whose luma rises by `levels` for half of each cycle of hz, on frames first-last."""
    on = (f"between(X,{x},{x + w - 1})*between(Y,{y},{y + h - 1})*between(N,{first},{last})*"
          f"lt(mod((N-{first})*{2 * hz}/25,2),1)")
    return f"format=yuv420p,geq=lum='clip(lum(X,Y)+{levels}*{on},0,255)':cb='cb(X,Y)':cr='cr(X,Y)'"


# name, rate, lavfi graph, [(type, first, last)], encoder options (None: lossless Y4M)
DETECTOR_CLIPS = [
    ("clean pan", 25, scene(25), [], None),
    ("clean pan with grain", 25, f"{scene(25)},{GRAIN}", [], None),
    ("clean cuts", 25, f"{scene(25)},hue=H='if(lt(n,23),0,if(lt(n,51),3,if(lt(n,64),1,2)))':"
                       f"b='if(lt(n,23),-3,if(lt(n,51),3,if(lt(n,64),-3,0)))'", [], None),
    # Fades from and to black: the frames black to the rule at either end are black.
    ("fades through black", 25, f"{scene(25)},fade=in:0:20,fade=out:80:20", [("black", 0, 2), ("black", 99, 99)], None),
    ("clean drifting gradient", 25,
     f"nullsrc=s={D_SIZE}:r=25:d={D_SECONDS},geq=lum='60+X/4+0.36*N':cb=128:cr=128", [], None),
    ("clean H.264 25 fps", 25, scene(25), [], ["-c:v", "libx264", "-crf", "23"]),
    ("clean H.264 29.97 fps", 30000 / 1001, scene("30000/1001"), [], ["-c:v", "libx264", "-crf", "23"]),
    ("clean H.264 low rate", 25, scene(25, "grain"), [], ["-c:v", "libx264", "-b:v", "100k"]),
    ("white strobe frames", 25, f"{scene(25)},drawbox=c=white:t=fill:enable='eq(mod(n,12),0)'",
     [("constant_colour", n, n) for n in range(0, 100, 12)], None),
]
for length in (1, 3, 25):
    DETECTOR_CLIPS.append((f"black {length} frames", 25, f"{scene(25)},drawbox=c=black:t=fill:{window(40, 39 + length)}",
                           [("black", 40, 39 + length)], None))
DETECTOR_CLIPS += [
    ("black with a logo, grain", 25, f"{scene(25)},drawbox=c=black:t=fill:{window(30, 69)},"
     f"drawbox=x=280:y=10:w=24:h=16:c=white:t=fill,{GRAIN}", [("black", 30, 69)], None),
    ("black, H.264 29.97 fps", 30000 / 1001, f"{scene('30000/1001')},drawbox=c=black:t=fill:{window(30, 59)}",
     [("black", 30, 59)], ["-c:v", "libx264", "-crf", "23"]),
    ("black, full range", 25, f"{scene(25)},drawbox=c=black:t=fill:{window(30, 59)},scale=out_range=full",
     [("black", 30, 59)], None),
    ("grey slate", 25, f"{scene(25)},drawbox=c=gray:t=fill:{window(20, 69)}", [("constant_colour", 20, 69)], None),
    ("letterbox", 25, f"{scene(25)},drawbox=y=0:w=iw:h=30:c=black:t=fill:{window(20, 79)},"
     f"drawbox=y=210:w=iw:h=30:c=black:t=fill:{window(20, 79)}", [("letterbox", 20, 79)], None),
    ("pillarbox right only, noise 3", 25, f"{scene(25)},drawbox=x=280:w=40:h=ih:c=black:t=fill:{window(20, 79)},"
     "noise=alls=3:allf=t", [("pillarbox", 20, 79)], None),
    ("pillarbox, H.264", 25, f"{scene(25)},drawbox=x=0:w=40:h=ih:c=black:t=fill:{window(20, 79)},"
     f"drawbox=x=280:w=40:h=ih:c=black:t=fill:{window(20, 79)}", [("pillarbox", 20, 79)], ["-c:v", "libx264", "-crf", "23"]),
]
for length in (3, 10, 40):
    DETECTOR_CLIPS.append((f"freeze {length} frames", 25, f"{scene(25)},split[a][b];[a][b]freezeframes=first=31:last={30 + length - 1}:replace=30",
                           [("freeze", 30, 29 + length)], None))
DETECTOR_CLIPS += [
    ("freeze 40 frames under grain 6", 25, f"{scene(25)},split[a][b];[a][b]freezeframes=first=31:last=69:replace=30,{GRAIN}",
     [("freeze", 30, 69)], None),
    ("freeze 10 frames, 29.97 fps", 30000 / 1001, f"{scene('30000/1001')},split[a][b];[a][b]freezeframes=first=31:last=39:replace=30",
     [("freeze", 30, 39)], None),
    ("freeze 40 frames, H.264 29.97 fps", 30000 / 1001,
     f"{scene('30000/1001')},split[a][b];[a][b]freezeframes=first=31:last=69:replace=30", [("freeze", 30, 69)],
     ["-c:v", "libx264", "-crf", "23"]),
    # Bars under the noise of an analogue transfer: temporal grain of ±3 levels over picture and bars.
    ("letterbox, grain 3", 25, f"{scene(25)},drawbox=y=0:w=iw:h=30:c=black:t=fill:{window(20, 79)},"
     f"drawbox=y=210:w=iw:h=30:c=black:t=fill:{window(20, 79)},noise=alls=3:allf=t", [("letterbox", 20, 79)], None),
    ("pillarbox left only, grain 3", 25, f"{scene(25)},drawbox=x=0:w=40:h=ih:c=black:t=fill:{window(20, 79)},"
     "noise=alls=3:allf=t", [("pillarbox", 20, 79)], None),
    ("freeze 40 frames, H.264", 25, f"{scene(25)},split[a][b];[a][b]freezeframes=first=31:last=69:replace=30",
     [("freeze", 30, 69)], ["-c:v", "libx264", "-crf", "23"]),
    ("flicker 5 Hz", 25, f"{scene(25, 'bars')},eq=brightness='0.1*sin(2*PI*5*t)*between(n,25,74)':eval=frame",
     [("flicker", 25, 74)], None),
    # Clean clips that change in ways flicker must not be taken for: a cut every 10 frames, a
    # pan over a still picture, grain, compressed content at 29.97 fps.
    ("cuts every 10 frames", 25, f"testsrc2=s=1280x720:r=25:d={D_SECONDS},crop=320:240:"
     "x='mod(n*3+floor(n/10)*317,960)':y='mod(n*2+floor(n/10)*151,480)'", [], None),
    ("pan over a still picture", 25, f"{STILL_PICTURE.format(r=25)},crop=320:240:x='n*3':y='n*2'", [], None),
    ("pan over a still picture, grain 6", 25, f"{STILL_PICTURE.format(r=25)},crop=320:240:x='n*3':y='n*2',{GRAIN}",
     [], None),
    ("pan, H.264 29.97 fps", 30000 / 1001, scene("30000/1001"), [], ["-c:v", "libx264", "-crf", "28"]),
    # Flicker of a region and of the whole picture, at several rates, and after compression.
    ("flicker 2 Hz, 64x64 region", 25, f"{scene(25)},{flicker_region(96, 64, 64, 64, 2, 24, 25, 74)}",
     [("flicker", 25, 74)], None),
    ("flicker 10 Hz, 64x64 region", 25, f"{scene(25)},{flicker_region(96, 64, 64, 64, 10, 24, 30, 59)}",
     [("flicker", 30, 59)], None),
    ("flicker 5 Hz, whole picture, 29.97 fps", 30000 / 1001,
     f"{scene('30000/1001')},eq=brightness='0.1*sin(2*PI*5*t)*between(n,30,89)':eval=frame", [("flicker", 30, 89)], None),
    ("flicker 5 Hz, 64x64 region, H.264", 25, f"{scene(25)},{flicker_region(96, 64, 64, 64, 5, 32, 25, 74)}",
     [("flicker", 25, 74)], ["-c:v", "libx264", "-crf", "23"]),
]
FAMILIES = ("black", "constant_colour", "letterbox", "pillarbox", "freeze", "flicker")


def make_clip(graph, rate, encode, path):
    frames = round(rate * D_SECONDS)
    out = ["-pix_fmt", "yuv420p", "-f", "yuv4mpegpipe"] if encode is None else ["-pix_fmt", "yuv420p", *encode]
    result = run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i", graph, "-frames:v", frames,
                  *out, "-y", path])
    if result.returncode != 0:
        sys.exit(f"ffmpeg could not make {path}: {result.stderr}")


def ffmpeg_column(path, rate, expected):
    """What blackdetect, freezedetect and cropdetect say of the injected stretch (first of the clip)."""
    if not expected:
        return ""
    kind, a, b = expected[0]
    if kind == "black":
        spans = [(round(float(x) * rate), round(float(y) * rate) - 1) for x, y in
                 re.findall(r"black_start:([\d.]+) black_end:([\d.]+)",
                            run(["ffmpeg", "-hide_banner", "-i", path, "-vf", "blackdetect=d=0", "-f", "null", "-"]).stderr)]
    elif kind == "freeze":
        text = run(["ffmpeg", "-hide_banner", "-i", path, "-vf", "freezedetect=d=0.1,metadata=mode=print", "-f", "null",
                    "-"]).stderr
        starts = [round(float(x) * rate) for x in re.findall(r"freeze_start: ?([\d.]+)", text)]
        ends = [round(float(x) * rate) - 1 for x in re.findall(r"freeze_end: ?([\d.]+)", text)]
        spans = list(zip(starts, ends + [round(rate * D_SECONDS) - 1] * (len(starts) - len(ends))))
    elif kind in ("letterbox", "pillarbox"):
        text = run(["ffmpeg", "-hide_banner", "-i", path, "-vf", "cropdetect=round=2:reset=1,metadata=mode=print",
                    "-f", "null", "-"]).stderr
        crops = [(int(w), int(h)) for w, h in re.findall(r"lavfi\.cropdetect\.w=(\d+)\s.*?lavfi\.cropdetect\.h=(\d+)",
                                                          text, re.S)]
        barred = [n for n, (w, h) in enumerate(crops) if (h < 240 if kind == "letterbox" else w < 320)]
        return f"{len([n for n in barred if a <= n <= b])} of {b - a + 1} frames" if crops else "no output"
    else:
        return "n/a"
    return "; ".join(f"{x}-{y}" for x, y in spans) or "none"


def judge(found, expected, slack):
    hits = misses = timing = 0
    used = set()
    for kind, a, b in expected:
        mine = [i for i, e in enumerate(found) if e["type"] == kind and e["start_frame"] <= b and e["end_frame"] >= a]
        used.update(mine)
        if len(mine) == 1 and abs(found[mine[0]]["start_frame"] - a) <= slack and abs(found[mine[0]]["end_frame"] - b) <= slack:
            hits += 1
        elif mine:
            timing += 1
        else:
            misses += 1
    false = sum(1 for i, e in enumerate(found) if e["type"] in FAMILIES and i not in used)
    return hits, misses, timing, false


def detector_table(work):
    print("| clip | injected | frameprobe events | hits | misses | timing errors | false events | ffmpeg |")
    print("|---|---|---|---|---|---|---|---|")
    total = [0, 0, 0, 0]
    coverage = []  # per injected flicker stretch: the share of its frames in flicker events
    only = [a.split("=", 1)[1] for a in sys.argv if a.startswith("--only=")]
    for index, (name, rate, graph, expected, encode) in enumerate(DETECTOR_CLIPS):
        if only and not any(o in name for o in only):
            continue
        path = work / (f"d{index}.y4m" if encode is None else f"d{index}.mp4")
        make_clip(graph, rate, encode, path)
        found = events(path, "--indicators", "all")
        slack = 8 if any(k == "flicker" for k, _, _ in expected) else 2
        scores = judge(found, expected, slack)
        total = [t + s for t, s in zip(total, scores)]
        for kind, a, b in expected:
            if kind == "flicker":
                covered = {n for e in found if e["type"] == kind for n in range(e["start_frame"], e["end_frame"] + 1)}
                coverage.append(len(covered & set(range(a, b + 1))) / (b - a + 1))
        injected = ", ".join(f"{k} {a}-{b}" for k, a, b in expected[:3]) + (" ..." if len(expected) > 3 else "") or "none"
        mine = ", ".join(f"{e['type']} {e['start_frame']}-{e['end_frame']}" for e in found[:4]) + \
            (" ..." if len(found) > 4 else "") or "none"
        print(f"| {name} | {injected} | {mine} | {scores[0]} | {scores[1]} | {scores[2]} | {scores[3]} | "
              f"{ffmpeg_column(path, rate, expected)} |")
    print(f"\nInjected stretches: {total[0]} hits, {total[1]} misses, {total[2]} timing errors; "
          f"false events: {total[3]}.")
    if coverage:
        print(f"Flicker stretches covered by flicker events: {min(coverage):.0%} at least, "
              f"{sum(coverage) / len(coverage):.0%} on average.")
    print()


def broken_frames(path, clean):
    """Frames of `path`'s decode that are visibly broken: Y-PSNR under 30 dB against the clean
    decode, frames matched by presentation time (a lost frame leaves its place to the one before)."""
    stats = path.with_suffix(".psnr")
    run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-i", path, "-i", clean, "-lavfi",
         f"[0:v][1:v]psnr=stats_file={stats}", "-f", "null", "-"])
    values = [float(v) for v in re.findall(r"psnr_y:([\d.]+|inf)", stats.read_text())] if stats.exists() else []
    return {n for n, v in enumerate(values) if v < 30}


def damage_table(work):
    clean = work / "damage.ts"
    result = run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i", PHOTO.format(r=25, d=8),
                  "-frames:v", 200, "-c:v", "libx264", "-g", "50", "-bf", "2", "-y", clean])
    if result.returncode != 0:
        sys.exit(f"ffmpeg could not make {clean}: {result.stderr}")
    print("| file | damage | decode_errors | damaged_frames | frames in decode_error/damaged events | "
          "visibly broken frames | of them in events | --profile default |")
    print("|---|---|---|---|---|---|---|---|")
    files = []
    for label, drop in (("one B frame", "eq(n\\,31)"), ("one P frame", "eq(n\\,60)"),
                        ("4 packets", "between(n\\,100\\,103)")):
        path = work / f"dropped-{len(label)}-{drop.count('n')}.mp4"
        run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-i", clean, "-c", "copy", "-bsf:v", f"noise=drop={drop}",
             "-y", path])
        files.append((f"H.264 MP4, {label}", f"packets {drop} dropped", path))
    # Transport packets cut out of the stream, as a lossy link does.
    data = clean.read_bytes()
    for packets, share in ((60, 0.4), (20, 0.7)):
        at = int(len(data) // 188 * share)
        path = work / f"cut-{packets}.ts"
        path.write_bytes(data[:188 * at] + data[188 * (at + packets):])
        files.append((f"MPEG-TS, {packets} packets cut", f"TS packets {at}-{at + packets - 1} cut", path))
    for label, damage, path in files:
        out = path.with_suffix(".json")
        status = run([PROBE, "-q", "--no-log", "--profile", "default", "--format", "json", "-o", out, path]).returncode
        d = json.loads(out.read_text())
        covered = {n for e in d["events"] if e["type"] in ("damaged", "decode_error")
                   for n in range(e["start_frame"], e["end_frame"] + 1)}
        broken = broken_frames(path, clean)
        print(f"| {label} | {damage} | {d['run']['decode_errors']} | {d['run']['damaged_frames']} | "
              f"{len(covered)} | {len(broken)} | {len(broken & covered)} | {'fail' if status == 3 else status} |")


def main():
    for tool in (PROBE, SAMPLE):
        if not tool.exists():
            sys.exit(f"{tool} is missing: build first (cmake --build {BUILD})")
    with tempfile.TemporaryDirectory() as folder:
        work = Path(folder)
        if "--detectors" not in sys.argv and not any(a.startswith("--only=") for a in sys.argv):
            flicker_table(work)
            black_freeze_table(work)
        detector_table(work)
        if not any(a.startswith("--only=") for a in sys.argv):
            damage_table(work)


if __name__ == "__main__":
    main()
