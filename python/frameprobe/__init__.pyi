import os
import concurrent.futures
from typing import Any, Dict, Iterable, Iterator, List, NamedTuple, Optional, Sequence, Tuple, Union

import numpy
import numpy.typing

Indicators = Union[None, int, str, Sequence[str]]
Plane = numpy.typing.NDArray[Union[numpy.uint8, numpy.uint16]]

__version__: str
INDICATORS: Tuple[str, ...]

class Error(RuntimeError): ...

class Result:
    frames: Dict[str, numpy.ndarray]
    events: List[Dict[str, Any]]
    summary: Dict[str, Dict[str, Any]]
    run: Dict[str, Any]
    def __init__(self, frames: Dict[str, numpy.ndarray], events: List[Dict[str, Any]],
                 summary: Dict[str, Dict[str, Any]], run: Dict[str, Any]) -> None: ...
    def to_pandas(self) -> Any: ...

def analyze(path: Union[str, os.PathLike[str]], size: Optional[Tuple[int, int]] = ...,
            indicators: Indicators = ..., start: int = ..., frames: Optional[int] = ...,
            fps: Optional[float] = ..., threads: Optional[int] = ...) -> Result: ...

class Analyzer:
    def __init__(self, width: int, height: int, fps: float = ..., indicators: Indicators = ...,
                 bit_depth: int = ..., threads: Optional[int] = ...,
                 chroma_subsampling: str = ...) -> None: ...
    def push(self, array: Union[Plane, Tuple[Plane, Plane, Plane]]) -> List[Dict[str, float]]: ...
    def finish(self) -> List[Dict[str, float]]: ...
    def events(self) -> List[Dict[str, Any]]: ...
    def summary(self) -> Dict[str, Dict[str, Any]]: ...
    @property
    def run(self) -> Dict[str, Any]: ...

def measure(array: Plane, indicators: Indicators = ..., bit_depth: Optional[int] = ...) -> Dict[str, float]: ...

class Finished(NamedTuple):
    path: Any
    result: Optional[Result]
    error: Optional[BaseException]
    @property
    def ok(self) -> bool: ...

def map(paths: Iterable[Union[str, os.PathLike[str]]], executor: Optional[concurrent.futures.Executor] = ...,
        **settings: Any) -> Iterator[Finished]: ...
