"""The large runs of PlenthTools on a Dask cluster: ``python3 -m plenthtools.cluster``.

  effort-surface  the effort surface of a DEM, in strips of rows, one task each
  poly-clip       the class counts of polygons, in batches of polygons
  grid-spot       the raster values under points, in batches of points

Each task runs the package's own routine (``effort_bands(rows=...)``, ``class_counts(fids=...,
classes=...)``, ``sample_raster(fids=...)``) on a worker; this process, the client, writes
what the tasks give through the tools' own writers (``write_effort_bands``,
``write_class_counts(counts=...)``, ``write_samples(values=...)``), so the result is the one a
run of ``plenth`` on one machine writes, bit for bit. Without ``--scheduler`` the tasks run on
a cluster of worker processes on this machine, one per core.

The workers open the input files themselves: on other machines every input must be at a path
each worker reads (a shared folder, or GDAL's ``/vsicurl/`` and ``/vsis3/`` paths), and the
package must be installed there.

The functions ``effort_surface``, ``class_counts`` and ``samples`` do the same for a
``distributed.Client`` of one's own.
"""

import argparse
import contextlib
import logging
import math
import os
import sys
import threading
import uuid
import warnings

import plenthtools

__all__ = ["class_counts", "effort_surface", "local_cluster", "main", "samples"]

# The cells each strip of the effort surface computes when the rows per task are not
# given: large enough that a task's own cost (opening the rasters, the rows above and below
# it, the scheduler's round trip) is a few per cent of its work, small enough that the
# strips in flight stay well inside a worker's memory (16 bytes of result per cell).
EFFORT_TASK_CELLS = 4_000_000
# Threads of each task: a worker runs as many tasks at once as it has threads.
TASK_THREADS = 1
# Tasks in flight per worker thread: one computing while its last result waits to be
# written, and one ready behind it.
TASKS_PER_THREAD = 2
# Batches of polygons or points per worker thread when their size is not given.
BATCHES_PER_THREAD = 4


# --- what runs on the workers -------------------------------------------------------------

def _quietly(run, *args, **kwargs):
    """A package routine on a worker: the client has said the checks' warnings already."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", plenthtools.PlenthWarning)
        return run(*args, **kwargs)


def _effort_strip(rasters, first, end, threads):
    return _quietly(plenthtools.effort_bands, *rasters, rows=(first, end), threads=threads)


def _raster_classes(raster):
    return plenthtools.raster_classes(raster)


def _clip_batch(polygons, raster, prefix, fids, classes):
    return _quietly(plenthtools.class_counts, polygons, raster, prefix, fids=fids, classes=classes)


def _spot_batch(points, raster, fids):
    return _quietly(plenthtools.sample_raster, points, raster, fids=fids)


# --- following the tasks --------------------------------------------------------------------

class _Bar:
    """Dask's text progress bar, drawn from the tasks this run has seen end (its tasks are
    handed to the scheduler a few at a time, which Dask's own bar does not follow), on a
    terminal only."""

    def __init__(self, client, total, shown):
        self._lock = threading.Lock()
        self._done = 0
        self._total = total
        self._bar = None
        if shown:
            from distributed.diagnostics.progressbar import TextProgressBar
            self._bar = TextProgressBar([], scheduler=client.scheduler.address, start=False)
            self._bar._draw_bar(remaining=total, all=total)

    def task_done(self, future=None):
        if future is not None and future.status != "finished":
            return
        with self._lock:
            self._done += 1
            if self._bar:
                self._bar._draw_bar(remaining=self._total - self._done, all=self._total)

    def close(self):
        if self._bar:
            self._bar._draw_stop()


def _task_key(name):
    """A key of its own for each task of a run: a scheduler shared by several clients never
    mixes two runs' tasks, and Dask's displays group them by the name."""
    token = uuid.uuid4().hex
    return lambda index: f"{name}-{token}-{index}"


# --- the effort surface ----------------------------------------------------------------------

class _Strips:
    """The rows of the surface as the writer asks for them, top to bottom, from strips of
    ``rows_per_task`` rows computed on the cluster. A thread of this process hands the
    strips to the scheduler a few ahead of the one written and fetches each as soon as it is
    done (so that its transfer goes on while the one before is written), at most ``kept``
    strips waiting here; each is let go on the workers once fetched and here once written.
    Neither the workers nor this process ever hold more than the strips in flight."""

    def __init__(self, client, rasters, rows, rows_per_task, ahead, bar, kept=2):
        self._client = client
        self._rasters = rasters
        self._per_task = rows_per_task
        self._bounds = [(first, min(first + rows_per_task, rows)) for first in range(0, rows, rows_per_task)]
        self._ahead = ahead
        self._kept = kept
        self._bar = bar
        self._key = _task_key("effort-strip")
        self._futures = {}
        self._ready = {}  # index -> bands fetched and not yet written
        self._fetched = 0  # strips fetched
        self._failure = None
        self._stopped = False
        self._changed = threading.Condition()
        self._current = None  # (index, bands) of the strip being written
        self._fetcher = threading.Thread(target=self._fetch, name="plenthtools-strips", daemon=True)
        self._fetcher.start()

    def __call__(self, first, end):
        pieces = []
        row = first
        while row < end:
            index = row // self._per_task
            top, bottom = self._bounds[index]
            bands = self._strip(index)
            stop = min(end, bottom)
            pieces.append(bands[:, row - top:stop - top])
            row = stop
        return pieces

    def _strip(self, index):
        if self._current and self._current[0] == index:
            return self._current[1]
        self._current = None
        with self._changed:
            while index not in self._ready:
                if self._failure is not None:
                    raise self._failure
                self._changed.wait(0.5)
            bands = self._ready.pop(index)
            self._changed.notify_all()
        self._current = (index, bands)
        return bands

    def _submit_until(self, last):
        while len(self._futures) + self._fetched <= min(last, len(self._bounds) - 1):
            index = len(self._futures) + self._fetched
            first, end = self._bounds[index]
            future = self._client.submit(_effort_strip, self._rasters, first, end, TASK_THREADS, key=self._key(index),
                                         retries=2)
            future.add_done_callback(self._bar.task_done)
            self._futures[index] = future

    def _fetch(self):
        try:
            for index in range(len(self._bounds)):
                with self._changed:
                    while not self._stopped and len(self._ready) >= self._kept:
                        self._changed.wait(0.5)
                    if self._stopped:
                        return
                    self._submit_until(index + self._ahead)
                    future = self._futures[index]
                bands = future.result()
                with self._changed:
                    del self._futures[index]
                    self._fetched = index + 1
                    self._ready[index] = bands
                    self._changed.notify_all()
                future.release()
        except BaseException as e:  # the writer raises it, and the run ends
            with self._changed:
                self._failure = e
                self._changed.notify_all()

    def cancel(self):
        with self._changed:
            self._stopped = True
            futures = list(self._futures.values())
            self._changed.notify_all()
        if futures:
            self._client.cancel(futures)
        self._fetcher.join()
        self._ready.clear()


def _threads(client):
    return max(1, sum(client.nthreads().values()))


def effort_surface(client, dem, trails, roads, streams, cover, output, *, rows_per_task=None, progress=None,
                   bar=False):
    """Writes the effort surface of the rasters at ``output`` (``.tif`` added without an
    extension; never over an existing raster) from strips of ``rows_per_task`` rows computed
    by the client's workers: the surface ``plenthtools.effort_surface`` writes, bit for bit,
    without its log. ``progress(fraction)`` follows the rows written, and stops the run when
    it returns False. A run that does not end leaves nothing behind. Returns the path
    written."""
    rasters = [os.fspath(p) for p in (dem, trails, roads, streams, cover)]
    from osgeo import gdal
    grid = gdal.OpenEx(rasters[0], gdal.OF_RASTER)
    if grid is None:
        raise plenthtools.Error(f"{rasters[0]}: not a raster")
    rows, columns = grid.RasterYSize, grid.RasterXSize
    grid = None
    if rows_per_task is None:
        rows_per_task = max(1, EFFORT_TASK_CELLS // max(columns, 1))
    if rows_per_task < 1:
        raise ValueError("rows_per_task must be 1 or more")
    tasks = math.ceil(rows / rows_per_task)
    followed = _Bar(client, tasks, bar)
    strips = _Strips(client, rasters, rows, rows_per_task, TASKS_PER_THREAD * _threads(client), followed)
    try:
        return plenthtools.write_effort_bands(*rasters, output, strips, progress=progress)
    finally:
        strips.cancel()
        followed.close()


# --- the vector tools -------------------------------------------------------------------------

def _batches(path, per_batch, threads):
    """The feature ids of a shapefile in batches of neighbours: sorted from north to south
    (then west to east) by the top of each feature's envelope, so that each batch reaches
    only the rows of the raster its own features lie over."""
    from osgeo import ogr
    source = ogr.Open(os.fspath(path))
    if source is None:
        raise plenthtools.Error(f"{path}: not a shapefile the data library can open")
    layer = source.GetLayer(0)
    placed = []
    for feature in layer:
        shape = feature.GetGeometryRef()
        west, _, _, north = shape.GetEnvelope() if shape is not None and not shape.IsEmpty() else (0, 0, 0, 0)
        placed.append((-north, west, feature.GetFID()))
    source = None
    placed.sort()
    fids = [fid for _, _, fid in placed]
    if per_batch is None:
        per_batch = max(1, math.ceil(len(fids) / (BATCHES_PER_THREAD * threads)))
    if per_batch < 1:
        raise ValueError("the features per task must be 1 or more")
    return [fids[i:i + per_batch] for i in range(0, len(fids), per_batch)]


def _gather(client, futures, bar):
    """The results of the batches as they end, merged; the first failure raised."""
    from distributed import as_completed
    merged = {}
    for future in as_completed(futures):
        result = future.result()
        merged.update(result)
        future.release()
        bar.task_done()
    return merged


def class_counts(client, polygons, raster, prefix, *, per_task=None, force=False, bar=False):
    """Counts the raster's cells of each class inside every polygon on the client's workers,
    in batches of ``per_task`` polygons (each reading only the rows of the raster its
    polygons reach), and writes the counts into the polygons' table once, as
    ``plenth poly-clip`` writes them. Polygons in another coordinate system than the
    raster's are refused unless ``force``. Returns the counts, ``{fid: {column: count}}``."""
    polygons, raster = os.fspath(polygons), os.fspath(raster)
    plenthtools._require(plenthtools.check_class_counts(polygons, raster, force=force))
    batches = _batches(polygons, per_task, _threads(client))
    key = _task_key("poly-clip")
    followed = _Bar(client, len(batches) + 1, bar)
    classes = client.submit(_raster_classes, raster, key=key("classes"), retries=2)
    classes.add_done_callback(followed.task_done)
    futures = [client.submit(_clip_batch, polygons, raster, prefix, fids, classes, key=key(n), retries=2)
               for n, fids in enumerate(batches)]
    try:
        counts = _gather(client, futures, followed)
        plenthtools.write_class_counts(polygons, raster, prefix, counts=counts, classes=classes.result())
        return counts
    finally:
        client.cancel(futures + [classes])
        followed.close()


def samples(client, points, raster, field, *, per_task=None, bar=False):
    """Samples the raster under every point on the client's workers, in batches of
    ``per_task`` points, and writes the values into the points' field once, as
    ``plenth grid-spot`` writes them. Returns the values, ``{fid: value}``."""
    points, raster = os.fspath(points), os.fspath(raster)
    plenthtools._require(plenthtools.check_samples(points, raster, field))
    batches = _batches(points, per_task, _threads(client))
    key = _task_key("grid-spot")
    followed = _Bar(client, len(batches), bar)
    futures = [client.submit(_spot_batch, points, raster, fids, key=key(n), retries=2)
               for n, fids in enumerate(batches)]
    try:
        values = _gather(client, futures, followed)
        plenthtools.write_samples(points, raster, field, values=values)
        return values
    finally:
        client.cancel(futures)
        followed.close()


# --- the cluster --------------------------------------------------------------------------------

@contextlib.contextmanager
def local_cluster(workers=None):
    """A client of a cluster of ``workers`` worker processes on this machine (one per core
    by default), each of one thread, closed on leaving."""
    from distributed import Client, LocalCluster
    if workers is None:
        workers = len(os.sched_getaffinity(0))
    # The workers are this process's children: Ctrl-C at the terminal reaches them as well,
    # and they leave it to this process to stop them. They take this process's settings.
    with _uncompressed():
        with _ignoring_interrupts():
            cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None,
                                   silence_logs=logging.ERROR)
        try:
            with Client(cluster) as client:
                yield client
        finally:
            cluster.close()


def _uncompressed():
    """Dask's settings for the strips' transfers: sent as they are. Compressing 16 bytes of
    every cell on one core is slower than sending them on any link of 1 Gbit/s or more, and
    on this machine's loopback it halves the rate at which the strips come in."""
    import dask
    return dask.config.set({"distributed.comm.compression": None})


@contextlib.contextmanager
def _ignoring_interrupts():
    import signal
    if threading.current_thread() is not threading.main_thread():
        yield
        return
    previous = signal.signal(signal.SIGINT, signal.SIG_IGN)
    try:
        yield
    finally:
        signal.signal(signal.SIGINT, previous)


@contextlib.contextmanager
def _remote_cluster(address, timeout):
    from distributed import Client
    try:
        client = Client(address, timeout=timeout)
    except (OSError, TimeoutError) as e:
        raise plenthtools.Error(f"the scheduler at {address} does not answer ({e}); start one with "
                                f"dask-scheduler, and workers with dask-worker {address}") from None
    try:
        try:
            client.wait_for_workers(1, timeout=timeout)
        except (OSError, TimeoutError):
            raise plenthtools.Error(f"the scheduler at {address} has no workers after {timeout:g} s; start them "
                                    f"with dask-worker {address}") from None
        yield client
    finally:
        client.close()


# --- the command line -----------------------------------------------------------------------------

def _parser():
    parser = argparse.ArgumentParser(
        prog="python3 -m plenthtools.cluster",
        description="PlenthTools' large runs on a Dask cluster: the same results as plenth's, the work spread "
                    "over the workers. Without --scheduler the workers are processes of this machine, one per "
                    "core. Inputs must be at paths every worker reads (a shared folder, /vsicurl/, /vsis3/).")
    commands = parser.add_subparsers(dest="command", metavar="COMMAND", required=True)

    def cluster_options(command):
        where = command.add_mutually_exclusive_group()
        where.add_argument("--scheduler", metavar="tcp://HOST:PORT",
                           help="the scheduler of a running cluster (dask-scheduler; workers: dask-worker "
                                "tcp://HOST:PORT)")
        where.add_argument("--local-workers", type=int, metavar="N",
                           help="N worker processes on this machine (default: one per core)")
        command.add_argument("--timeout", type=float, default=10.0, metavar="SECONDS",
                             help="how long to wait for the scheduler and its first worker (default 10)")

    effort = commands.add_parser(
        "effort-surface", help="the effort surface, in strips of rows (plenth effort-surface)",
        description="Writes the effort surface of the DEM and class rasters as one tiled GeoTIFF at OUTPUT.tif: "
                    "four FLOAT bands (north, north-east, east, south-east) of no-data -1 on the DEM's grid, "
                    "computed in strips of rows on the workers and written here, the same bit for bit as "
                    "plenth effort-surface writes. An existing OUTPUT is never written over; a run that does not "
                    "end (a failure, Ctrl-C) leaves nothing.")
    for name, what in (("dem", "the DEM"), ("trails", "the trails raster"),
                       ("roads", "the roads raster (required, not read)"), ("streams", "the streams raster"),
                       ("cover", "the ground-cover raster")):
        effort.add_argument(f"--{name}", required=True, metavar="RASTER", help=what)
    effort.add_argument("--z-factor", type=float, default=1.0, metavar="Z",
                        help="recorded as the tool records it, not applied (costs use elevations as stored)")
    effort.add_argument("output", metavar="OUTPUT.tif", help="the surface (.tif added without an extension)")
    effort.add_argument("--rows-per-task", type=int, metavar="K",
                        help=f"rows of each task (default: about {EFFORT_TASK_CELLS:,} cells' worth)")
    cluster_options(effort)

    clip = commands.add_parser(
        "poly-clip", help="class counts per polygon, in batches of polygons (plenth poly-clip)",
        description="Counts, for every polygon, the raster's cells of each class (at most 39) whose centre lies "
                    "inside it, in batches of polygons on the workers (each reading only the rows its polygons "
                    "reach), and writes one 32-bit integer column per class (prefix + value) into the polygons' "
                    "table once, here, as plenth poly-clip writes them.")
    clip.add_argument("polygons", metavar="POLYGONS", help="the polygon shapefile, changed in place")
    clip.add_argument("raster", metavar="RASTER", help="the integer raster of at most 39 classes")
    clip.add_argument("--prefix", default="", help="column prefix, at most 5 characters")
    clip.add_argument("--force", action="store_true", help="run although the polygons are in another coordinate "
                                                           "system")
    clip.add_argument("--polygons-per-task", type=int, metavar="B", help="polygons of each task (default: "
                                                                         f"{BATCHES_PER_THREAD} tasks per worker thread)")
    cluster_options(clip)

    spot = commands.add_parser(
        "grid-spot", help="raster values under points, in batches of points (plenth grid-spot)",
        description="Finds the raster value under every point, in batches of points on the workers, and writes "
                    "them into a field of the points' table once, here, as plenth grid-spot writes them (double "
                    "for FLOAT and DOUBLE rasters, else 32-bit integer; -99 where the raster gives nothing).")
    spot.add_argument("points", metavar="POINTS", help="the point shapefile, changed in place")
    spot.add_argument("raster", metavar="RASTER", help="the raster")
    spot.add_argument("--field", required=True, help="the field, at most 5 characters (added when missing)")
    spot.add_argument("--points-per-task", type=int, metavar="B", help="points of each task (default: "
                                                                       f"{BATCHES_PER_THREAD} tasks per worker thread)")
    cluster_options(spot)
    return parser


def _cut(text, limit):
    """The text as a dialog's field of ``limit`` bytes keeps it, never splitting a character."""
    return text.encode()[:limit].decode(errors="ignore")


def _say_findings(findings, out):
    for finding in findings:
        if finding.kind == "error":
            raise plenthtools.Error(finding.text)
    for finding in findings:
        print(f"{finding.kind}: {finding.text}", file=out)


def _run(args, out):
    if args.local_workers is not None and args.local_workers < 1:
        raise ValueError("--local-workers must be 1 or more")
    terminal = out.isatty()
    # Said before the cluster starts: what would refuse the run, and what makes it doubtful.
    if args.command == "effort-surface":
        _say_findings(plenthtools.check_effort_surface(args.dem, args.trails, args.roads, args.streams, args.cover),
                      out)
    elif args.command == "poly-clip":
        prefix = _cut(args.prefix, 5)
        if prefix != args.prefix:
            print(f"the prefix is cut to 5 characters: {prefix}", file=out)
        _say_findings(plenthtools.check_class_counts(args.polygons, args.raster, force=args.force), out)
    else:
        field = _cut(args.field, 5)
        if not field:
            raise plenthtools.Error("the field name is empty")
        if field != args.field:
            print(f"the field name is cut to 5 characters: {field}", file=out)
        _say_findings(plenthtools.check_samples(args.points, args.raster, field), out)

    cluster = (_remote_cluster(args.scheduler, args.timeout) if args.scheduler
               else local_cluster(args.local_workers))
    said = None
    try:
        with cluster as client, warnings.catch_warnings():
            warnings.simplefilter("ignore", plenthtools.PlenthWarning)  # said above
            if args.command == "effort-surface":
                written = effort_surface(client, args.dem, args.trails, args.roads, args.streams, args.cover,
                                         args.output, rows_per_task=args.rows_per_task, bar=terminal)
                said = f"wrote {written}"
            elif args.command == "poly-clip":
                counts = class_counts(client, args.polygons, args.raster, prefix, per_task=args.polygons_per_task,
                                      force=args.force, bar=terminal)
                said = _clip_summary(args.polygons, counts, out)
            else:
                values = samples(client, args.points, args.raster, field, per_task=args.points_per_task,
                                 bar=terminal)
                said = _spot_summary(args.points, field, values)
    except KeyboardInterrupt:
        if said is None:
            raise
        # Ctrl-C while the cluster closes: the run had ended, its output whole.
    return said


def _columns_of(path):
    from osgeo import ogr
    source = ogr.Open(os.fspath(path))
    definition = source.GetLayer(0).GetLayerDefn()
    return {definition.GetFieldDefn(i).GetName(): definition.GetFieldDefn(i).GetTypeName()
            for i in range(definition.GetFieldCount())}


def _clip_summary(polygons, counts, out):
    names = list(next(iter(counts.values()), {}))
    present = _columns_of(polygons)
    written = [name for name in names if name in present]
    refused = [name for name in names if name not in present]
    if refused:
        print("not written (a shapefile column name holds at most 10 characters): " + " ".join(refused), file=out)
    if names and not written:
        raise plenthtools.Error("no class column was written")
    return f"{len(written)} class columns written to {len(counts)} polygons ({', '.join(written)})"


def _spot_summary(points, field, values):
    kind = _columns_of(points).get(field)
    kind = "double" if kind == "Real" else "text" if kind == "String" else "integer"
    missing = sum(1 for v in values.values() if v == -99)
    return (f"{len(values)} points sampled into field {field} ({kind}); {missing} got -99 (no raster value there: off "
            f"the raster or a no-data cell, or a cell whose value is -99)")


def main(argv=None):
    args = _parser().parse_args(argv)
    name = f"plenthtools.cluster {args.command}"
    try:
        print(_run(args, sys.stdout), flush=True)
        return 0
    except KeyboardInterrupt:
        print(f"\n{name}: stopped (Ctrl-C); the tasks are cancelled and nothing was written", file=sys.stderr)
        return 1
    except (plenthtools.Error, ValueError, OSError) as e:
        print(f"{name}: {e}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    # Run as a module, this file is __main__; the tasks are the package module's own, which
    # every worker imports by name.
    from plenthtools.cluster import main as _main

    sys.exit(_main())
