"""The Python module: the program's values bit for bit, zero-copy pushes of
strided views, clear errors for bad arrays, and the GIL released."""

import json
import math
import os
import shutil
import struct
import subprocess
import sys
import threading
import time

import numpy
import pytest

import frameprobe

PROGRAM = os.environ["FRAMEPROBE_BINARY"]
SAMPLE = os.environ["FRAMEPROBE_SAMPLE_BINARY"]


@pytest.fixture(scope="module")
def clip(tmp_path_factory):
    path = tmp_path_factory.mktemp("clips") / "clip.y4m"
    subprocess.run([SAMPLE, str(path), "96", "64", "30", "black:3-6", "freeze:10-16", "noise:18-22",
                    "letterbox:24-29"], check=True)
    return path


def read_y4m_luma(path, width, height):
    data = path.read_bytes()
    frames = []
    at = data.index(b"\n") + 1
    while at < len(data):
        at = data.index(b"\n", at) + 1  # FRAME line
        frames.append(numpy.frombuffer(data, numpy.uint8, width * height, at).reshape(height, width))
        at += width * height * 3 // 2
    return frames


def bits(value):
    return struct.pack("<d", value)


def assert_same(actual, expected):
    """Equal bit for bit; None in the JSON is NaN in Python."""
    if expected is None:
        assert math.isnan(actual)
    else:
        assert bits(actual) == bits(expected)


def test_analyze_equals_the_programs_json_bit_for_bit(clip, tmp_path):
    out = tmp_path / "out.json"
    subprocess.run([PROGRAM, "--format", "json", "-q", "-o", str(out), str(clip)], check=True)
    document = json.loads(out.read_text())
    result = frameprobe.analyze(clip, threads=2)

    assert list(result.frames["frame"]) == [f["frame"] for f in document["frames"]]
    for key in frameprobe.INDICATORS + ("time",):
        for value, frame in zip(result.frames[key], document["frames"]):
            assert_same(value, frame[key])
    assert result.events == document["events"]
    assert result.summary.keys() == document["summary"].keys()
    for key, stats in document["summary"].items():
        for name, value in stats.items():
            if name == "worst":
                assert result.summary[key]["worst"] == value
            elif value is None:
                assert result.summary[key][name] is None
            else:
                assert_same(result.summary[key][name], value)
    assert result.run["format"] == "y4m" and result.run["width"] == 96 and result.run["frames"] == 30


def test_analyze_takes_a_range_indicators_and_raw_sizes(clip, tmp_path):
    part = frameprobe.analyze(clip, indicators="blur,freezing", start=5, frames=10, threads=1)
    assert list(part.frames["frame"]) == list(range(5, 15))
    assert numpy.isnan(part.frames["noise"]).all()
    assert not numpy.isnan(part.frames["blur"]).any()
    # Freezing needs temporal activity and reads blackout, as on the command line.
    assert set(part.run["indicators"]) == {"temporal_activity", "blur", "blackout", "freezing"}

    raw = tmp_path / "clip.yuv"
    subprocess.run([SAMPLE, str(raw), "96", "64", "4"], check=True)
    assert len(frameprobe.analyze(raw, size=(96, 64)).frames["frame"]) == 4
    with pytest.raises(frameprobe.Error, match="needs a width and a height"):
        frameprobe.analyze(raw)
    with pytest.raises(frameprobe.Error, match="missing"):
        frameprobe.analyze(tmp_path / "missing.y4m")
    with pytest.raises(ValueError, match="unknown indicator"):
        frameprobe.analyze(clip, indicators=["blur", "sharpness"])
    # 0 threads would take the default: a caller who says 0 made a mistake.
    with pytest.raises(ValueError, match="threads must be at least 1"):
        frameprobe.analyze(clip, threads=0)
    with pytest.raises(ValueError, match="threads must be at least 1"):
        frameprobe.Analyzer(96, 64, threads=0)
    # Paths of every kind Python has; other types, and numbers that are not whole, are refused.
    assert len(frameprobe.analyze(os.fsencode(raw), size=(96, 64)).frames["frame"]) == 4
    with pytest.raises(TypeError, match="path must be"):
        frameprobe.analyze(None)
    with pytest.raises(ValueError, match="two whole numbers"):
        frameprobe.analyze(raw, size=(96.5, 64))
    with pytest.raises(ValueError, match="start must be a whole number"):
        frameprobe.analyze(clip, start=2.5)


def test_pushed_strided_views_equal_the_file(clip):
    frames = read_y4m_luma(clip, 96, 64)
    expected = frameprobe.analyze(clip, threads=1)
    analyzer = frameprobe.Analyzer(96, 64, threads=3)
    canvas = numpy.zeros((64 * 2, 96 + 20), numpy.uint8)
    measured = []
    for luma in frames:
        canvas[::2, 7:103] = luma
        view = canvas[::2, 7:103]  # rows 2 * 116 bytes apart, samples contiguous: pushed as it is
        assert not view.flags.c_contiguous
        measured += analyzer.push(view)
    measured += analyzer.finish()
    assert [m["frame"] for m in measured] == list(range(len(frames)))
    for key in frameprobe.INDICATORS:
        for m, value in zip(measured, expected.frames[key]):
            assert bits(m[key]) == bits(value) or (math.isnan(m[key]) and math.isnan(value))
    assert analyzer.events() == expected.events


def test_sixteen_bit_planes_and_single_pictures(clip):
    luma = read_y4m_luma(clip, 96, 64)[0]
    deep = (luma.astype(numpy.uint16) << 2) | 3
    analyzer = frameprobe.Analyzer(96, 64, bit_depth=10)
    values = (analyzer.push(deep) + analyzer.finish())[0]
    single = frameprobe.measure(luma)
    for key in single:
        assert bits(single[key]) == bits(values[key]) or (math.isnan(single[key]) and math.isnan(values[key]))
    assert math.isnan(single["temporal_activity"])
    assert frameprobe.measure(deep, bit_depth=10) == pytest.approx(single, nan_ok=True)


def test_three_planes_at_any_strides_and_the_input_description(clip):
    frames = read_y4m_luma(clip, 96, 64)
    expected = frameprobe.analyze(clip, threads=1)
    assert expected.run["pixel_format"] == "yuv420p"
    assert expected.run["chroma_subsampling"] == "4:2:0"
    assert expected.run["color_range"] is None and expected.run["planes_converted_to"] is None
    analyzer = frameprobe.Analyzer(96, 64, bit_depth=10, chroma_subsampling="4:2:2")
    assert analyzer.run["pixel_format"] == "yuv422p10le"
    canvas = numpy.zeros((64, 96 * 2), numpy.uint16)
    chroma = numpy.full((64, 48), 512, numpy.uint16)
    measured = []
    for luma in frames:
        canvas[:, ::2] = luma.astype(numpy.uint16) << 2
        # Samples two apart along a row, and a bottom-up chroma plane.
        measured += analyzer.push((canvas[:, ::2], chroma, chroma[::-1]))
    measured += analyzer.finish()
    assert [m["frame"] for m in measured] == list(range(len(frames)))
    for key in frameprobe.INDICATORS:
        for m, value in zip(measured, expected.frames[key]):
            assert bits(m[key]) == bits(value) or (math.isnan(m[key]) and math.isnan(value))
    with pytest.raises(ValueError, match="chroma subsampling"):
        frameprobe.Analyzer(96, 64, chroma_subsampling="4:2:1")


@pytest.mark.parametrize("array, message", [
    (numpy.zeros((64, 96), numpy.float32), "uint8 or uint16"),
    (numpy.zeros((64, 96, 3), numpy.uint8), "2-D"),
    (numpy.zeros((96, 64), numpy.uint8), "64 rows of 96"),
    ((numpy.zeros((64, 96), numpy.uint8), numpy.zeros((32, 48), numpy.uint8)), r"\(Y, U, V\)"),
    ((numpy.zeros((64, 96), numpy.uint8), numpy.zeros((64, 96), numpy.uint8), numpy.zeros((32, 48), numpy.uint8)),
     "U plane of 32 rows of 48"),
    (numpy.zeros((64, 96), numpy.uint16), "uint16 samples given to an analyzer of 8-bit"),
    (numpy.zeros((64, 96), ">u2"), "byte order"),
])
def test_bad_arrays_give_clear_value_errors(array, message):
    analyzer = frameprobe.Analyzer(96, 64)
    with pytest.raises(ValueError, match=message):
        analyzer.push(array)
    with pytest.raises(ValueError, match="bit depth"):
        frameprobe.Analyzer(96, 64, bit_depth=20)


def test_other_arguments_and_another_interpreter_get_short_clear_errors(tmp_path):
    # A frame as a list of lists, or another object: the message says what was expected or
    # names the type, instead of printing the argument.
    with pytest.raises(ValueError, match="expected a luma array or a \\(Y, U, V\\) tuple") as error:
        frameprobe.Analyzer(320, 240).push([[0] * 320] * 240)
    assert len(str(error.value)) < 1000
    with pytest.raises((TypeError, ValueError)) as error:
        frameprobe.Analyzer(320, 240).push({"frame": [0] * 100000})
    assert len(str(error.value)) < 1000
    # The package under an interpreter it was not built for, which has no numpy.
    package = tmp_path / "frameprobe"
    shutil.copytree(os.path.dirname(frameprobe.__file__), package)
    (package / "_interpreter.py").write_text('EXECUTABLE = "/opt/other/bin/python3"\nVERSION = (3, 99)\n')
    other = subprocess.run([sys.executable, "-c", "import sys; sys.modules['numpy'] = None; import frameprobe"],
                           env=dict(os.environ, PYTHONPATH=str(tmp_path)), cwd=tmp_path, capture_output=True,
                           text=True)
    assert "frameprobe was built for /opt/other/bin/python3 (Python 3.99) and its numpy; this is " in other.stderr
    assert "run it with /opt/other/bin/python3" in other.stderr


def test_two_analyses_in_two_threads_run_while_python_goes_on(tmp_path):
    """While native code measures, other Python threads run: ticks of the main
    thread fall inside each call."""
    longer = tmp_path / "longer.y4m"
    subprocess.run([SAMPLE, str(longer), "352", "288", "40"], check=True)
    spans = []

    def work():
        began = time.perf_counter()
        frameprobe.analyze(longer, threads=1)
        spans.append((began, time.perf_counter()))

    workers = [threading.Thread(target=work) for _ in range(2)]
    ticks = []
    for w in workers:
        w.start()
    while any(w.is_alive() for w in workers):
        ticks.append(time.perf_counter())
    for w in workers:
        w.join()
    assert len(spans) == 2
    for began, ended in spans:
        # The middle half of each call, away from the moments Python code runs around it.
        quarter = (ended - began) / 4
        inside = [t for t in ticks if began + quarter < t < ended - quarter]
        assert len(inside) > 100, (ended - began, len(inside))


def test_result_to_pandas(clip):
    pandas = pytest.importorskip("pandas")
    table = frameprobe.analyze(clip, indicators="blur").to_pandas()
    assert isinstance(table, pandas.DataFrame) and len(table) == 30


@pytest.mark.skipif(subprocess.run(["which", "ffmpeg"], capture_output=True).returncode != 0,
                    reason="the ffmpeg program makes the clips")
def test_containers_give_the_programs_times_losses_and_time_code(tmp_path):
    """A variable frame rate, a damaged stretch and a start time code come out as in the JSON."""
    def ffmpeg(*args):
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=96x64:rate=25",
                        "-frames:v", "40", "-c:v", "libx264", "-g", "8", *args], check=True, cwd=tmp_path)
    ffmpeg("-vf", "setpts='(N+if(gte(N,10),25,0))/25/TB'", "-fps_mode", "vfr", "-metadata",
           "timecode=10:00:00:05", "vfr.mkv")
    ffmpeg("clip.ts")
    ts = bytearray((tmp_path / "clip.ts").read_bytes())
    for i in range(len(ts) // 3, len(ts) // 3 + 6000):
        ts[i] = (ts[i] * 7 + 13) % 256
    (tmp_path / "damaged.ts").write_bytes(bytes(ts))
    for name in ("vfr.mkv", "damaged.ts"):
        path = tmp_path / name
        document = json.loads(subprocess.run([PROGRAM, "--format", "json", "-q", str(path)], check=True,
                                             capture_output=True).stdout)
        result = frameprobe.analyze(path, threads=2)
        assert [bits(t) for t in result.frames["time"]] == [bits(f["time"]) for f in document["frames"]]
        assert result.events == document["events"]
        assert result.run["decode_errors"] == document["run"]["decode_errors"]
        assert result.run["timecode"] == document["input"]["timecode"]
    assert result.run["decode_errors"] > 0
    assert frameprobe.analyze(tmp_path / "vfr.mkv").run["timecode"] == {"start": "10:00:00:05", "fps": 25,
                                                                          "drop_frame": False}
