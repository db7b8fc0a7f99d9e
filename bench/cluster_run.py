"""One run of the cluster's effort surface on a local cluster, measured from inside:
wall time, cells per second, the peak resident memory of every worker and of the client,
and per task its time and the bytes it reads and gives back (the figures the scaling model
in the README starts from). With --check, rows on both sides of task boundaries are
compared with effort_bands(rows=...) of the same rows, computed here.

  cluster_run.py PREFIX OUTPUT [--workers N] [--rows-per-task K] [--check]

PREFIX names the rasters as bench/lib.sh makes them (PREFIX-dem.tif, ...). Prints one JSON
object.
"""

import argparse
import json
import resource
import statistics
import time

import numpy as np
from osgeo import gdal

import plenthtools
from plenthtools import cluster


def peak_rss_kb():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("prefix")
    parser.add_argument("output")
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--rows-per-task", type=int)
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    p = args.prefix
    rasters = [f"{p}-dem.tif", f"{p}-trails.tif", f"{p}-trails.tif", f"{p}-streams.tif", f"{p}-groundcover.tif"]
    grid = gdal.Open(rasters[0])
    rows, columns = grid.RasterYSize, grid.RasterXSize
    grid = None
    per_task = args.rows_per_task or max(1, cluster.EFFORT_TASK_CELLS // columns)
    with cluster.local_cluster(args.workers) as client:
        client.get_task_stream()  # from here on the scheduler keeps each task's start and end
        start = time.perf_counter()
        cluster.effort_surface(client, *rasters, args.output, rows_per_task=per_task)
        wall = time.perf_counter() - start
        stream = client.get_task_stream()
        workers = client.run(peak_rss_kb)
    durations = [sum(s["stop"] - s["start"] for s in t["startstops"] if s["action"] == "compute")
                 for t in stream if str(t["key"]).startswith("effort-strip")]
    # A task reads its rows and the row above and below: 4 bytes of DEM and a byte of each of
    # trails, streams and cover a cell (the roads raster is not read); it gives back 16.
    read = (per_task + 2) * columns * 7
    given = per_task * columns * 16
    result = {
        "rows": rows, "columns": columns, "workers": args.workers, "rows_per_task": per_task,
        "tasks": len(durations), "wall_s": round(wall, 3), "cells_per_s": round(rows * columns / wall),
        "task_s_median": round(statistics.median(durations), 4), "task_s_max": round(max(durations), 4),
        "task_read_bytes": read, "task_result_bytes": given,
        "compute_cells_per_s_per_worker": round(per_task * columns / statistics.median(durations)),
        "worker_peak_rss_mb": sorted(round(kb / 1024) for kb in workers.values()),
        "client_peak_rss_mb": round(peak_rss_kb() / 1024),
    }
    if args.check:
        out = gdal.Open(args.output)
        checked = []
        for boundary in sorted({per_task, (rows // per_task // 2) * per_task, (rows - 1) // per_task * per_task}):
            first, end = max(0, boundary - 2), min(rows, boundary + 2)
            if first >= end:
                continue
            written = np.stack([out.GetRasterBand(b).ReadAsArray(0, first, columns, end - first) for b in range(1, 5)])
            expected = plenthtools.effort_bands(*rasters, rows=(first, end))
            if written.tobytes() != expected.tobytes():
                raise SystemExit(f"rows {first} to {end - 1}: not the surface's rows")
            checked.append([first, end])
        result["identical_rows"] = checked
    print(json.dumps(result))


if __name__ == "__main__":
    main()
