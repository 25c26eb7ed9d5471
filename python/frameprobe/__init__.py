"""frameprobe: no-reference quality indicators of video frames.

    import frameprobe
    result = frameprobe.analyze("clip.mp4")
    result.frames["blur"]          # a numpy array, NaN where there is no value

``analyze`` measures any input the ``frameprobe`` program reads; ``Analyzer``
measures frames you push as numpy arrays; ``measure`` one picture; ``map``
many files on an executor (threads, processes, or a Dask cluster).
"""

import collections
import concurrent.futures
import functools
import operator
import os
import sys

from . import _interpreter

# The native part works for the interpreter it was built for, with that one's numpy;
# another one (a python3 earlier on PATH, a virtual environment) is told which it is.
try:
    from . import _frameprobe
    import numpy  # noqa: F401  (the native part hands out numpy arrays)
except ImportError as error:
    if sys.version_info[:2] != _interpreter.VERSION or os.path.realpath(sys.executable) != os.path.realpath(
            _interpreter.EXECUTABLE):
        raise ImportError("frameprobe was built for {} (Python {}.{}) and its numpy; this is {} (Python {}.{}): "
                          "run it with {}, or build it for this interpreter (cmake -DPython_EXECUTABLE={})".format(
                              _interpreter.EXECUTABLE, *_interpreter.VERSION, sys.executable, *sys.version_info[:2],
                              _interpreter.EXECUTABLE, sys.executable)) from error
    raise ImportError("frameprobe needs numpy: sudo apt-get install python3-numpy ({})".format(error)) from error
from ._frameprobe import Error

__all__ = ["analyze", "map", "Analyzer", "measure", "Result", "Finished", "Error", "INDICATORS", "__version__"]

__version__ = _frameprobe.version()

#: The indicator keys in report order.
INDICATORS = tuple(_frameprobe.indicator_keys())


class Result:
    """What ``analyze`` returns.

    ``frames``: a dict of numpy arrays, one per indicator key (NaN where the
    indicator has no value) plus ``frame`` and ``time``; ``events``: a list of
    dicts; ``summary``: statistics per requested indicator; ``run``: the input
    and settings.
    """

    def __init__(self, frames, events, summary, run):
        self.frames = frames
        self.events = events
        self.summary = summary
        self.run = run

    def to_pandas(self):
        """The frames as a pandas DataFrame indexed by frame number (needs pandas)."""
        try:
            import pandas
        except ImportError as e:
            raise ImportError("to_pandas() needs pandas: sudo apt-get install python3-pandas (in a virtual "
                              "environment: pip install pandas)") from e
        columns = {key: self.frames[key] for key in ("time",) + INDICATORS}
        return pandas.DataFrame(columns, index=pandas.Index(self.frames["frame"], name="frame"))

    def __repr__(self):
        return "<frameprobe.Result of {!r}: {} frames, {} events>".format(
            self.run["input"], len(self.frames["frame"]), len(self.events))


def analyze(path, size=None, indicators=None, start=0, frames=None, fps=None, threads=None):
    """Measures every frame of a file, URL or standard input ("-").

    size: (width, height), needed for raw YUV; indicators: None for all, keys
    such as "blur,noise" or ["blur", "noise"], or a mask; start: first frame;
    frames: how many (default: to the end); fps: default the input's rate,
    else 25; threads: default the hardware's count. Raises frameprobe.Error
    when the input cannot be read, ValueError for bad arguments, TypeError
    for a path that is not a str, bytes or os.PathLike.
    """
    # A path (str, bytes or os.PathLike); str() would make "None" or "b'clip.y4m'" of others.
    try:
        path = os.fsdecode(os.fspath(path))
    except TypeError:
        raise TypeError("path must be a str, bytes or os.PathLike, not " + type(path).__name__) from None
    width = height = None
    if size is not None:
        # Whole numbers only: int() would cut 64.7 to 64 and take "64".
        try:
            width, height = (operator.index(v) for v in size)
        except (TypeError, ValueError):
            raise ValueError("size must be (width, height), two whole numbers") from None
        if width < 1 or height < 1:
            raise ValueError("size must be at least (1, 1)")
    try:
        start = operator.index(start)
    except TypeError:
        raise ValueError("start must be a whole number of frames") from None
    return Result(*_frameprobe.analyze_file(path, width, height, indicators, start, frames, fps, threads))


def _short_type_errors(function):
    """A TypeError of the native part names the argument's type instead of printing it
    whole (a frame as a list of lists would make a message of hundreds of kilobytes)."""
    @functools.wraps(function)
    def checked(*args, **kwargs):
        try:
            return function(*args, **kwargs)
        except TypeError as error:
            message = str(error)
            if "Invoked with" not in message and len(message) <= 1000:
                raise
            given = ", ".join(type(a).__name__ for a in args)
            raise TypeError("{}Invoked with: {}".format(message.split("Invoked with")[0], given)) from None
    return checked


class Analyzer(_frameprobe.Analyzer):
    """Measures frames you push, one picture at a time.

    Analyzer(width, height, fps=25, indicators=None, bit_depth=8, threads=None,
             chroma_subsampling="4:2:0")

    push(array) takes a 2-D numpy array (height, width) of luma samples, or a
    (Y, U, V) tuple of such arrays, the chroma ones subsampled as
    chroma_subsampling says ("4:2:0", "4:2:2", "4:4:4", "4:1:1", "4:4:0"; their
    sizes rounded up): uint8 samples, or uint16 ones when bit_depth is 9 to 16.
    Any strides work; planes whose rows are contiguous are read without a copy.
    Luma alone serves the indicators that read luma only. It returns the
    frames measured so far and not yet returned (a list of dicts, in frame
    order; values come a few frames after their push), and finish() the rest.
    The GIL is released while frames are measured.
    """

    push = _short_type_errors(_frameprobe.Analyzer.push)


def measure(array, indicators=None, bit_depth=None):
    """The spatial indicators of one picture, a 2-D uint8 or uint16 numpy array.

    Returns a dict with a value per indicator key (NaN for the temporal ones
    and where there is no value). bit_depth defaults to 8 for uint8 and 16 for
    uint16 samples.
    """
    return _short_type_errors(_frameprobe.measure)(array, indicators, bit_depth)


class Finished(collections.namedtuple("Finished", "path result error")):
    """What ``map`` yields for each file: its path as given, its ``Result`` (None
    when it failed) and the exception that stopped it (None when it did not)."""

    __slots__ = ()

    @property
    def ok(self):
        return self.error is None


def _measure_one(path, settings):
    # At module level, so that process pools and Dask workers can unpickle it.
    try:
        return Finished(path, analyze(path, **settings), None)
    except Exception as e:  # one bad file is a value, never the end of the map
        return Finished(path, None, e)


def map(paths, executor=None, **settings):  # noqa: A001 (frameprobe.map, as documented)
    """Measures many files, yielding a ``Finished`` for each as it finishes.

    paths: any iterable of paths, read as they are needed. executor: a
    ``concurrent.futures.Executor`` (a ``ProcessPoolExecutor``, Dask's
    ``Client.get_executor()``, ...); by default a thread pool with one worker
    per CPU. settings: those of ``analyze`` (size, indicators, start, frames,
    fps, threads); ``threads`` defaults to 1, as files run side by side.
    Files are submitted a few per worker at a time, so a list of a million
    paths costs no more memory than a short one. Leaving the loop early cancels
    the files not yet started.
    """
    own = executor is None
    workers = os.cpu_count() or 1
    if own:
        executor = concurrent.futures.ThreadPoolExecutor(max_workers=workers)
    settings.setdefault("threads", 1)
    window = max(4, 2 * workers)
    pending = set()
    try:
        it = iter(paths)
        exhausted = False
        while True:
            while not exhausted and len(pending) < window:
                try:
                    path = next(it)
                except StopIteration:
                    exhausted = True
                    break
                pending.add(executor.submit(_measure_one, path, settings))
            if not pending:
                return
            done, pending = concurrent.futures.wait(pending, return_when=concurrent.futures.FIRST_COMPLETED)
            for future in done:
                yield future.result()
    finally:
        for future in pending:
            future.cancel()
        if own:
            executor.shutdown(wait=True, cancel_futures=True)
