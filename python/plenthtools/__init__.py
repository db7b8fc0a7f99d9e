"""PlenthTools' raster and vector tools over files.

Each function runs the same routine as the tool in the map application and in ``plenth``,
on files instead of map layers: the same rules, the same results. Long calls let other
Python threads run, take ``progress=callable(fraction)`` (a fraction from 0 to 1, a few
dozen times a second at most) and stop when it returns False or raises, or on Ctrl-C;
a run stopped leaves no output of its own behind and raises ``Cancelled`` (or what the
callable raised). A run that fails raises ``Error`` with the tool's own words; arguments
of the wrong kind raise ``TypeError`` or ``ValueError``.

Paths are ``str`` or ``os.PathLike``. Outputs are written at the path given: the tools'
own cuts of typed names (24 or 7 characters) do not apply here.

Before a run each function makes the checks plenth makes of the same files, in the same
words: what would make the run fail or change the wrong thing raises ``Error`` before
anything is written, what makes the result doubtful is a ``PlenthWarning``. The
``check_*`` functions give those findings without running anything.
"""

import collections
import numbers
import operator
import os
import warnings

from . import _native
from ._native import Cancelled, Error

__version__ = _native.version

__all__ = [
    "Cancelled",
    "Error",
    "Finding",
    "PlenthWarning",
    "check_class_counts",
    "check_effort_surface",
    "check_line_orientation",
    "check_samples",
    "class_counts",
    "effort_bands",
    "effort_surface",
    "export_grid",
    "import_grid",
    "line_orientation",
    "point_grid",
    "raster_classes",
    "sample_raster",
    "write_class_counts",
    "write_samples",
]


class PlenthWarning(UserWarning):
    """What plenth warns of before a run: a result the run makes but that may mislead."""


Finding = collections.namedtuple("Finding", "kind text")
Finding.__doc__ = """One finding of the checks before a run: kind "error" (the run would not
start), "warning" (its result may mislead) or "note" (worth knowing), and its text."""


def _findings(pairs):
    return [Finding(kind, text) for kind, text in pairs]


def _require(findings):
    """Raises Error with the first error among the findings; warns of the warnings."""
    for finding in findings:
        if finding.kind == "error":
            raise Error(finding.text)
    for finding in findings:
        if finding.kind == "warning":
            warnings.warn(finding.text, PlenthWarning, stacklevel=3)


def check_class_counts(polygons, raster):
    """The findings plenth's poly-clip makes of these files: polygons each of whose records
    reads, an integer raster, and the two in one coordinate system (a warning here: the
    tool counts where the polygons' numbers fall on the raster)."""
    return _findings(_native.check_class_counts(_path(polygons, "polygons"), _path(raster, "raster")))


def check_samples(points, raster):
    """The findings plenth's grid-spot makes of these files: points each of whose records
    reads, and a raster with a coordinate system."""
    return _findings(_native.check_samples(_path(points, "points"), _path(raster, "raster")))


def check_line_orientation(lines):
    """The findings plenth's line-orientation makes of the lines: a shapefile of lines each of
    whose records reads, whose "Azimuth", if it has one, holds real numbers."""
    return _findings(_native.check_line_orientation(_path(lines, "lines")))


def check_effort_surface(dem, trails, roads, streams, cover):
    """The findings plenth's effort-surface makes of the rasters: the DEM in projected
    coordinates, the trails, streams and ground cover on its grid, and the Z factor's note.
    The roads raster is not read."""
    return _findings(_native.check_effort_surface(_path(dem, "dem"), _path(trails, "trails"),
                                                  _path(streams, "streams"), _path(cover, "cover")))


def _path(value, name):
    if isinstance(value, bytes):
        return os.fsdecode(value)
    try:
        path = os.fspath(value)
    except TypeError:
        raise TypeError(f"{name} must be a path (str or os.PathLike), not {type(value).__name__}") from None
    return os.fsdecode(path) if isinstance(path, bytes) else path


def _optional_path(value, name):
    return None if value is None else _path(value, name)


def _text(value, name):
    if not isinstance(value, str):
        raise TypeError(f"{name} must be a str, not {type(value).__name__}")
    return value


def _callable(value, name):
    if value is not None and not callable(value):
        raise TypeError(f"{name} must be callable or None, not {type(value).__name__}")
    return value


def _number(value, name):
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{name} must be a number, not {type(value).__name__}")
    return float(value)


def _whole(value, name):
    if isinstance(value, bool):
        raise TypeError(f"{name} must be a whole number, not bool")
    try:
        return operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be a whole number, not {type(value).__name__}") from None


def _fids(value):
    if value is None:
        return None
    if isinstance(value, (str, bytes)):
        raise TypeError("fids must be an iterable of feature ids")
    try:
        return [_whole(fid, "a feature id") for fid in value]
    except TypeError as e:
        if "feature id" in str(e):
            raise
        raise TypeError("fids must be an iterable of feature ids") from None


def export_grid(raster, outpath, *, progress=None, log=None):
    """Writes every band of the raster as a grid text file ("Plenth Format").

    ``outpath`` names the files as in the tool's dialog: ``out/elev`` writes
    ``out/elev.dat`` for a raster of one band, ``out/elev0.dat``, ``out/elev1.dat``, ...
    for several. Returns the paths written. ``log`` is called with each line the tool
    logs.
    """
    return _native.export_grid(_path(raster, "raster"), _path(outpath, "outpath"),
                               _callable(progress, "progress"), _callable(log, "log"))


def import_grid(gridfile, outpath, *, progress=None, log=None):
    """Creates a one-band GeoTIFF from a grid text file; returns its path.

    A path without an extension gets ``.tif``; an existing raster is never written over.
    """
    return _native.import_grid(_path(gridfile, "gridfile"), _path(outpath, "outpath"),
                               _callable(progress, "progress"), _callable(log, "log"))


def point_grid(output, west, east, north, south, spacing=None, count=None, seed=None, crs_of=None, crs=None, *,
               progress=None):
    """Writes a new point shapefile: a regular grid or random points over the rectangle.

    Give ``spacing`` for a regular grid (columns from west to east, each from north to
    south; the west and north edges included, the east and south edges not) or ``count``
    for that many random points, drawn by the tool's generator from ``seed`` (the current
    second when None). ``crs_of`` names a raster or vector file whose coordinate system
    the shapefile takes, or ``crs`` gives that system as WKT. A path without ``.shp``
    gets it; an existing shapefile is never written over. Returns the shapefile's path.
    """
    west, east = _number(west, "west"), _number(east, "east")
    north, south = _number(north, "north"), _number(south, "south")
    if spacing is not None:
        spacing = _number(spacing, "spacing")
    if count is not None:
        count = _whole(count, "count")
    if seed is not None:
        seed = _whole(seed, "seed")
    return _native.point_grid(_path(output, "output"), west, east, north, south, spacing, count, seed,
                              _optional_path(crs_of, "crs_of"), None if crs is None else _text(crs, "crs"),
                              _callable(progress, "progress"))


def _rows(value):
    if value is None:
        return None
    if isinstance(value, (str, bytes)):
        raise TypeError("rows must be a pair (first, end)")
    try:
        first, end = value
    except (TypeError, ValueError):
        raise TypeError("rows must be a pair (first, end)") from None
    return _whole(first, "rows[0]"), _whole(end, "rows[1]")


def effort_surface(dem, trails, roads, streams, cover, output, z_factor=1.0, rows=None, *, progress=None,
                   log=None):
    """Writes the effort surface: four FLOAT bands on the DEM's grid holding, for every cell,
    the cost of a step to its north, north-east, east and south-east neighbour, or -1 (the
    bands' no-data value) where no step is possible.

    The rasters are those of the tool's dialog: the roads raster is required but not read,
    and ``z_factor`` is recorded but not applied (costs use elevations as stored). A path
    without an extension gets ``.tif``; an existing raster is never written over. The log
    goes beside the output as ``EffortSurface_log.txt``, as the tool writes it, and each of
    its lines to ``log``.

    ``rows=(first, end)`` computes rows ``first`` to ``end - 1`` only, reading the row
    above and below them, and writes a raster of just those rows whose top edge is the top
    of row ``first``: its cells are those rows of the whole surface, bit for bit. No log
    file is written then.

    Returns the path of the raster written.
    """
    _number(z_factor, "z_factor")
    _require(check_effort_surface(dem, trails, roads, streams, cover))
    return _native.effort_surface(_path(dem, "dem"), _path(trails, "trails"), _path(roads, "roads"),
                                  _path(streams, "streams"), _path(cover, "cover"), _path(output, "output"),
                                  _rows(rows), _callable(progress, "progress"), _callable(log, "log"))


def effort_bands(dem, trails, roads, streams, cover, rows=None, z_factor=1.0, *, progress=None, log=None):
    """The effort surface's four bands as a numpy array, written nowhere.

    Returns a float32 array of shape (4, rows, columns): north, north-east, east and
    south-east, of all the DEM's rows or of ``rows=(first, end)`` (read with the row above
    and below them). The values are those ``effort_surface`` writes, bit for bit.
    """
    import numpy  # only here: the package itself needs no numpy

    _number(z_factor, "z_factor")
    _require(check_effort_surface(dem, trails, roads, streams, cover))
    cells, height, width = _native.effort_bands(_path(dem, "dem"), _path(trails, "trails"), _path(roads, "roads"),
                                                _path(streams, "streams"), _path(cover, "cover"), _rows(rows),
                                                _callable(progress, "progress"), _callable(log, "log"))
    return numpy.frombuffer(cells, dtype=numpy.float32).reshape(4, height, width)


def line_orientation(lines, output, *, progress=None):
    """Writes a new polyline shapefile with one feature per segment of the lines.

    Each feature carries its line's attributes and "Azimuth", the segment's orientation
    from 0 to 180 degrees clockwise from north. A path without ``.shp`` gets it; an
    existing shapefile is never written over. Returns the shapefile's path.
    """
    _require(check_line_orientation(lines))
    return _native.line_orientation(_path(lines, "lines"), _path(output, "output"),
                                    _callable(progress, "progress"))


def raster_classes(raster):
    """The raster's classes as the polygon clip finds them: its distinct cell values in order
    of first appearance, row by row from the top-left cell. A 40th value is an Error."""
    return _native.raster_classes(_path(raster, "raster"))


def class_counts(polygons, raster, prefix, fids=None, *, classes=None, progress=None):
    """Counts, for every polygon, the raster's cells of each class inside it.

    The classes are the raster's distinct cell values in order of first appearance (at
    most 39; a 40th is an Error); a cell counts when its centre lies strictly inside the
    polygon. Returns ``{fid: {column: count}}`` in the polygons' order, a column named
    ``prefix`` + class value as the tool names it; features without a polygon are left
    out, and with ``fids`` only those features are counted. Nothing is written.

    Given ``classes`` (``raster_classes(raster)``), only the rows of the raster the
    polygons reach are read, and the counts are those of the whole raster's run: batches
    of polygons on several workers read only their own part of a large raster.
    """
    _require(check_class_counts(polygons, raster))
    if classes is not None:
        if isinstance(classes, (str, bytes)):
            raise TypeError("classes must be the list raster_classes gives")
        classes = [_whole(value, "a class value") for value in classes]
    classes, columns, rows = _native.class_counts(_path(polygons, "polygons"), _path(raster, "raster"),
                                                  _text(prefix, "prefix"), _fids(fids), classes,
                                                  _callable(progress, "progress"))
    return {fid: dict(zip(columns, counts)) for fid, counts in rows}


def write_class_counts(polygons, raster, prefix, output=None, *, progress=None):
    """Writes the counts of ``class_counts`` into the polygons' table, as the tool does.

    One 32-bit integer column per class, added when the table has none of that name.
    With ``output``, the polygons stay as they are and the columns go into a copy of
    them made there (``.shp`` added when missing; never over an existing file). Returns
    the path of the shapefile written.
    """
    _require(check_class_counts(polygons, raster))
    return _native.write_class_counts(_path(polygons, "polygons"), _path(raster, "raster"), _text(prefix, "prefix"),
                                      _optional_path(output, "output"), _callable(progress, "progress"))


def sample_raster(points, raster, fids=None, *, progress=None):
    """The raster's value under every point, as the grid spot tool finds it.

    Points in another coordinate system are projected first. Returns ``{fid: value}``: a
    float for FLOAT and DOUBLE rasters, else an int; -99 where the raster gives nothing
    (off the raster or a no-data cell). Features without a point are left out, and with
    ``fids`` only those features are sampled. Nothing is written.
    """
    _require(check_samples(points, raster))
    rows = _native.sample_raster(_path(points, "points"), _path(raster, "raster"), _fids(fids),
                                 _callable(progress, "progress"))
    return dict(rows)


def write_samples(points, raster, field, output=None, *, progress=None):
    """Writes the values of ``sample_raster`` into the points' field, as the tool does.

    The field is added when the table has none of that name: a double field for FLOAT and
    DOUBLE rasters, else a 32-bit integer one. With ``output``, the points stay as they
    are and the field goes into a copy of them made there (``.shp`` added when missing;
    never over an existing file). Returns the path of the shapefile written.
    """
    _require(check_samples(points, raster))
    return _native.write_samples(_path(points, "points"), _path(raster, "raster"), _text(field, "field"),
                                 _optional_path(output, "output"), _callable(progress, "progress"))
