"""frameprobe.map: results as files finish, errors as values, on a thread pool
and on a two-worker Dask cluster on the loopback."""

import concurrent.futures
import os
import pickle
import subprocess

import distributed
import pytest

import frameprobe

SAMPLE = os.environ["FRAMEPROBE_SAMPLE_BINARY"]


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    folder = tmp_path_factory.mktemp("map")
    paths = []
    for i in range(4):
        path = folder / "clip{}.y4m".format(i)
        subprocess.run([SAMPLE, str(path), "32", "32", str(3 + i)], check=True)
        paths.append(str(path))
    broken = folder / "broken.mp4"
    broken.write_bytes(b"x" * 300)
    missing = str(folder / "missing.y4m")
    return paths, [str(broken), missing]


def check(finished, paths, bad):
    by_path = {f.path: f for f in finished}
    assert sorted(by_path) == sorted(paths + bad) and len(finished) == len(paths) + len(bad)
    for i, path in enumerate(paths):
        assert by_path[path].ok and len(by_path[path].result.frames["frame"]) == 3 + i
    for path in bad:
        assert not by_path[path].ok and isinstance(by_path[path].error, frameprobe.Error)


def test_map_yields_every_file_with_errors_as_values_and_results_pickle(files):
    paths, bad = files
    finished = list(frameprobe.map(paths + bad, indicators="blur"))
    check(finished, paths, bad)
    again = pickle.loads(pickle.dumps(finished))
    assert (again[0].result.frames["blur"] == finished[0].result.frames["blur"]).all()
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        check(list(frameprobe.map(iter(paths + bad), pool, indicators="blur")), paths, bad)


@pytest.mark.filterwarnings("ignore::DeprecationWarning")  # Debian's tornado and distributed
def test_map_on_a_dask_cluster(files):
    paths, bad = files
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        check(list(frameprobe.map(paths + bad, client.get_executor(), indicators="blur")), paths, bad)
