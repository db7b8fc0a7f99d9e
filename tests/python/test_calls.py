"""What every long call shares: other threads run meanwhile, calls on several threads at
once give what one gives alone, and Ctrl-C stops a run without leaving its output."""

import os
import signal
import subprocess
import sys
import threading

import numpy as np
import pytest
from osgeo import gdal, osr

import plenthtools


def make_inputs(folder, rows, columns):
    """A DEM with three class rasters on its grid, large enough for a run to take a while."""
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(32633)
    y, x = np.mgrid[0:rows, 0:columns]
    layers = {
        "dem": (gdal.GDT_Float32, (500 + 40 * np.sin(x / 37.0) * np.cos(y / 23.0) + 0.01 * x * y).astype("float32")),
        "trails": (gdal.GDT_Byte, ((x + 2 * y) % 97 == 0).astype("uint8")),
        "streams": (gdal.GDT_Byte, (abs(x - columns // 3 - 5 * np.sin(y / 11.0)) < 1).astype("uint8")),
        "cover": (gdal.GDT_Byte, (((x // 13) + (y // 17)) % 10).astype("uint8")),
    }
    paths = {}
    for name, (kind, cells) in layers.items():
        path = folder / f"{name}.tif"
        ds = gdal.GetDriverByName("GTiff").Create(str(path), columns, rows, 1, kind)
        ds.SetGeoTransform((400000, 10, 0, 5000000, 0, -10))
        ds.SetSpatialRef(srs)
        ds.GetRasterBand(1).SetNoDataValue(0 if name != "dem" else -9999)
        ds.GetRasterBand(1).WriteArray(cells)
        ds = None
        paths[name] = path
    return [paths["dem"], paths["trails"], paths["trails"], paths["streams"], paths["cover"]]


@pytest.fixture(scope="module")
def large(tmp_path_factory):
    return make_inputs(tmp_path_factory.mktemp("large"), 2000, 1500)


def test_other_threads_run_while_a_call_runs(large):
    done = threading.Event()
    result = []

    def run():
        result.append(plenthtools.effort_bands(*large))
        done.set()

    worker = threading.Thread(target=run)
    turns = 0
    worker.start()
    while not done.is_set():
        turns += 1
    worker.join()
    assert result and result[0].shape == (4, 2000, 1500)
    # A call that kept the GIL would let this thread take no turns at all until it ended.
    assert turns > 1000


def test_calls_on_several_threads_give_what_one_gives(large, tmp_path):
    alone = plenthtools.effort_bands(*large)
    ranges = [(0, 377), (377, 1000), (1000, 2000)]
    results, logs = {}, {}

    def run(rows):
        lines = []
        results[rows] = plenthtools.effort_bands(*large, rows=rows, log=lines.append)
        logs[rows] = lines

    threads = [threading.Thread(target=run, args=(rows,)) for rows in ranges]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert np.concatenate([results[r] for r in ranges], axis=1).tobytes() == alone.tobytes()
    for rows in ranges:
        assert logs[rows] == ["Operation Complete"], rows


def test_ctrl_c_stops_a_run_and_leaves_no_output(large, tmp_path):
    # Ctrl-C a moment after the run has begun, while the tool's own code runs.
    script = """
import os, signal, sys, threading, time, plenthtools
def interrupt():
    time.sleep(0.02)
    os.kill(os.getpid(), signal.SIGINT)
def log(line):
    if line.startswith("Opened Logfile"):
        threading.Thread(target=interrupt).start()
try:
    plenthtools.effort_surface(*sys.argv[1:6], sys.argv[6], log=log)
except KeyboardInterrupt:
    print("interrupted")
"""
    out = tmp_path / "out"
    out.mkdir()
    done = subprocess.run([sys.executable, "-c", script, *map(str, large), out / "effort"], capture_output=True,
                          text=True, timeout=120, env=os.environ)
    assert done.stdout.strip() == "interrupted", done.stderr
    # The log keeps what the run wrote, as the tool's does when it is cancelled.
    assert sorted(os.listdir(out)) == ["EffortSurface_log.txt"]
