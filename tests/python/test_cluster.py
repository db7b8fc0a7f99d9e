"""python3 -m plenthtools.cluster on a cluster of two worker processes on this machine,
beside plenth's own runs."""

import _thread
import os
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

import pytest
from conftest import raster_contents, table_contents
from osgeo import gdal

import plenthtools
from plenthtools import cluster

pytest.importorskip("distributed")


def inputs(folder):
    return [folder / "dem.tif", folder / "trails.tif", folder / "trails.tif", folder / "streams.tif",
            folder / "groundcover.tif"]


def command(*args, timeout=120):
    return subprocess.run([sys.executable, "-m", "plenthtools.cluster", *map(str, args)], capture_output=True,
                          text=True, timeout=timeout)


@pytest.fixture(scope="module")
def client():
    with cluster.local_cluster(2) as c:
        yield c


def test_help_lists_the_three_commands():
    done = command("--help")
    assert done.returncode == 0
    for name in ("effort-surface", "poly-clip", "grid-spot"):
        assert name in done.stdout


def test_effort_surface_is_plenths_and_never_written_over(plenth, sample, tmp_path):
    dem, trails, roads, streams, cover = inputs(sample)
    plenth("effort-surface", "--dem", dem, "--trails", trails, "--roads", f"roads={roads}", "--streams", streams,
           "--cover", cover, tmp_path / "plenths")
    args = ["effort-surface", "--dem", dem, "--trails", trails, "--roads", roads, "--streams", streams, "--cover",
            cover, tmp_path / "out.tif", "--local-workers", "2", "--rows-per-task", "7"]  # 240 rows: not a multiple
    done = command(*args)
    assert done.returncode == 0, done.stderr
    assert raster_contents(tmp_path / "out.tif") == raster_contents(tmp_path / "plenths.tif")
    before = (tmp_path / "out.tif").read_bytes()
    done = command(*args)
    assert done.returncode == 1 and "exists already" in done.stderr
    assert (tmp_path / "out.tif").read_bytes() == before


def test_rasters_of_any_shape_in_tasks_of_any_height(client, sample, tmp_path):
    # (column, row, columns, rows) cut from the sample rasters, and the rows of each task.
    cases = [((13, 29, 37, 23), 5), ((0, 50, 300, 1), 1), ((0, 50, 300, 1), 4), ((100, 0, 1, 240), 17),
             ((100, 0, 1, 240), 240), ((0, 0, 300, 240), 1000)]
    for number, (window, per_task) in enumerate(cases):
        folder = tmp_path / str(number)
        folder.mkdir()
        cut = []
        for path in inputs(sample):
            cut.append(folder / path.name)
            if not cut[-1].exists():
                gdal.Translate(str(cut[-1]), str(path), srcWin=list(window))
        os.mkdir(folder / "tool")
        expected = plenthtools.effort_surface(*cut, folder / "tool" / "effort.tif")
        written = cluster.effort_surface(client, *cut, folder / "effort", rows_per_task=per_task)
        assert written == str(folder / "effort.tif")
        assert raster_contents(written) == raster_contents(expected), (window, per_task)


def test_a_killed_worker_s_tasks_run_again_elsewhere(client, sample, tmp_path):
    os.mkdir(tmp_path / "tool")
    expected = plenthtools.effort_surface(*inputs(sample), tmp_path / "tool" / "effort.tif")
    address, victim = next(iter(client.run(os.getpid).items()))
    running = threading.Event()
    killed = []

    def kill_while_it_works():  # killed with a task in its hands, the run not over
        while running.is_set() and not killed:
            if client.processing(workers=[address]).get(address):
                os.kill(victim, signal.SIGKILL)
                killed.append(victim)
            time.sleep(0.002)

    running.set()
    killer = threading.Thread(target=kill_while_it_works)
    killer.start()
    try:
        written = cluster.effort_surface(client, *inputs(sample), tmp_path / "effort", rows_per_task=1)
    finally:
        running.clear()
        killer.join()
    assert killed
    assert victim not in client.run(os.getpid).values()
    assert raster_contents(written) == raster_contents(expected)
    client.wait_for_workers(2, timeout=30)  # the nanny starts another for the next test


def test_ctrl_c_cancels_the_tasks_and_leaves_nothing(client, sample, tmp_path):
    os.mkdir(tmp_path / "out")
    busy = lambda: client.run_on_scheduler(lambda dask_scheduler: len(dask_scheduler.tasks))

    def interrupt_while_tasks_run():
        deadline = time.monotonic() + 30
        while not busy() and time.monotonic() < deadline:
            time.sleep(0.002)
        _thread.interrupt_main()  # as Ctrl-C at the terminal does

    interrupter = threading.Thread(target=interrupt_while_tasks_run)
    interrupter.start()
    with pytest.raises(KeyboardInterrupt):
        cluster.effort_surface(client, *inputs(sample), tmp_path / "out" / "effort", rows_per_task=1)
        time.sleep(30)  # the interrupt came after the run: not what is tested
    interrupter.join()
    assert os.listdir(tmp_path / "out") == []
    deadline = time.monotonic() + 10
    while busy() and time.monotonic() < deadline:
        time.sleep(0.05)
    assert busy() == 0


def test_a_scheduler_that_does_not_answer_is_said_within_seconds(sample, tmp_path):
    with socket.socket() as silent:  # takes the connection and never says a word
        silent.bind(("127.0.0.1", 0))
        silent.listen()
        address = "tcp://127.0.0.1:%d" % silent.getsockname()[1]
        start = time.monotonic()
        done = command("grid-spot", sample / "sites.shp", sample / "dem.tif", "--field", "elev", "--scheduler",
                       address, "--timeout", "2")
    assert done.returncode == 1
    assert time.monotonic() - start < 20
    assert f"the scheduler at {address} does not answer" in done.stderr
    assert "dask-worker" in done.stderr


def test_poly_clip_and_grid_spot_are_plenths(plenth, sample, tmp_path):
    twin = tmp_path / "twin"
    shutil.copytree(sample, twin)
    plenth("poly-clip", sample / "areas.shp", sample / "groundcover.tif", "--prefix", "gc")
    plenth("grid-spot", sample / "sites.shp", sample / "dem.tif", "--field", "elev")
    done = command("poly-clip", twin / "areas.shp", twin / "groundcover.tif", "--prefix", "gc",
                   "--polygons-per-task", "1", "--local-workers", "2")
    assert done.returncode == 0, done.stderr
    done = command("grid-spot", twin / "sites.shp", twin / "dem.tif", "--field", "elev", "--points-per-task", "7",
                   "--local-workers", "2")
    assert done.returncode == 0, done.stderr
    assert table_contents(twin / "areas.shp") == table_contents(sample / "areas.shp")
    assert table_contents(twin / "sites.shp") == table_contents(sample / "sites.shp")
