"""class_counts, sample_raster, line_orientation and point_grid beside plenth poly-clip,
grid-spot, line-orientation and point-grid."""

import os
import shutil

import pytest
from conftest import Recorder, column_values, table_contents
from osgeo import gdal, ogr, osr

import plenthtools


@pytest.fixture
def twin(sample, tmp_path):
    """A second copy of the sample data, for the package beside plenth's."""
    folder = tmp_path / "twin"
    shutil.copytree(sample, folder)
    return folder


def test_class_counts_are_what_poly_clip_writes(plenth, sample, twin):
    plenth("poly-clip", sample / "areas.shp", sample / "groundcover.tif", "--prefix", "gc")
    counts = plenthtools.class_counts(twin / "areas.shp", twin / "groundcover.tif", "gc")
    columns = list(next(iter(counts.values())))
    assert columns and all(c.startswith("gc") for c in columns)
    written = {c: column_values(sample / "areas.shp", c) for c in columns}
    assert counts == {fid: {c: written[c][fid] for c in columns} for fid in written[columns[0]]}
    # Only the features asked for, and the table untouched.
    some = sorted(counts)[1:]
    assert plenthtools.class_counts(twin / "areas.shp", twin / "groundcover.tif", "gc", fids=some) == \
        {fid: counts[fid] for fid in some}
    plenthtools.write_class_counts(twin / "areas.shp", twin / "groundcover.tif", "gc")
    assert table_contents(twin / "areas.shp") == table_contents(sample / "areas.shp")


@pytest.mark.parametrize("raster, field", [("dem.tif", "elev"), ("groundcover.tif", "cover")])
def test_samples_are_what_grid_spot_writes(plenth, sample, twin, raster, field):
    plenth("grid-spot", sample / "sites.shp", sample / raster, "--field", field)
    values = plenthtools.sample_raster(twin / "sites.shp", twin / raster)
    assert values == column_values(sample / "sites.shp", field)
    assert all(isinstance(v, float if raster == "dem.tif" else int) for v in values.values())
    plenthtools.write_samples(twin / "sites.shp", twin / raster, field)
    assert table_contents(twin / "sites.shp") == table_contents(sample / "sites.shp")


@pytest.mark.parametrize("tool", ["poly-clip", "grid-spot"])
def test_an_output_is_a_copy_with_what_plenth_writes_in_place(plenth, sample, twin, tmp_path, tool):
    if tool == "poly-clip":
        table, raster, name = "areas.shp", "groundcover.tif", "gc"
        plenth("poly-clip", sample / table, sample / raster, "--prefix", name)
        write = plenthtools.write_class_counts
    else:
        table, raster, name = "sites.shp", "dem.tif", "elev"
        plenth("grid-spot", sample / table, sample / raster, "--field", name)
        write = plenthtools.write_samples
    before = {entry: (twin / entry).read_bytes() for entry in os.listdir(twin)}
    written = write(twin / table, twin / raster, name, tmp_path / "copy")
    assert written == str(tmp_path / "copy.shp")
    assert table_contents(written) == table_contents(sample / table)
    assert {entry: (twin / entry).read_bytes() for entry in os.listdir(twin)} == before
    # Never over an existing file; a stopped run leaves no copy.
    with pytest.raises(plenthtools.Error, match="copy.shp exists; the tool never writes over an output"):
        write(twin / table, twin / raster, name, written)
    with pytest.raises(plenthtools.Cancelled):
        write(twin / table, twin / raster, name, tmp_path / "stopped.shp", progress=Recorder(stop_after=1))
    assert not [entry for entry in os.listdir(tmp_path) if entry.startswith("stopped")]
    assert {entry: (twin / entry).read_bytes() for entry in os.listdir(twin)} == before


def test_line_orientation_writes_what_plenth_writes(plenth, sample, tmp_path):
    plenth("line-orientation", sample / "roads.shp", tmp_path / "roadseg")
    written = plenthtools.line_orientation(sample / "roads.shp", tmp_path / "road_segments.shp")
    assert written == str(tmp_path / "road_segments.shp")
    assert table_contents(written) == table_contents(tmp_path / "roadseg.shp")


@pytest.mark.parametrize("mode", [["--spacing", "500"], ["--random", "333", "--seed", "7"]])
def test_point_grid_writes_what_plenth_writes(plenth, sample, tmp_path, mode):
    bounds = dict(west=501000.0, east=508000.0, north=4105000.0, south=4100000.0)
    plenth("point-grid", tmp_path / "cli", "--west", "501000", "--east", "508000", "--north", "4105000", "--south",
           "4100000", "--crs-of", sample / "dem.tif", *mode)
    kind = dict(spacing=500.0) if mode[0] == "--spacing" else dict(count=333, seed=7)
    written = plenthtools.point_grid(tmp_path / "pkg", **bounds, **kind, crs_of=sample / "dem.tif")
    assert written == str(tmp_path / "pkg.shp")
    assert table_contents(written) == table_contents(tmp_path / "cli.shp")


def test_point_grid_takes_a_coordinate_system_as_wkt(plenth, sample, tmp_path):
    plenth("point-grid", tmp_path / "cli", "--west", "501000", "--east", "508000", "--north", "4105000", "--south",
           "4100000", "--spacing", "500", "--crs-of", sample / "dem.tif")
    wkt = gdal.Open(str(sample / "dem.tif")).GetProjection()
    written = plenthtools.point_grid(tmp_path / "pkg", 501000, 508000, 4105000, 4100000, spacing=500, crs=wkt)
    assert table_contents(written) == table_contents(tmp_path / "cli.shp")


def test_progress_ends_at_one_and_a_stop_leaves_nothing(sample, twin, tmp_path):
    before = {name: (twin / name).read_bytes() for name in os.listdir(twin)}
    runs = [
        lambda p: plenthtools.class_counts(twin / "areas.shp", twin / "groundcover.tif", "gc", progress=p),
        lambda p: plenthtools.write_class_counts(twin / "areas.shp", twin / "groundcover.tif", "gc", progress=p),
        lambda p: plenthtools.sample_raster(twin / "sites.shp", twin / "dem.tif", progress=p),
        lambda p: plenthtools.write_samples(twin / "sites.shp", twin / "dem.tif", "elev", progress=p),
        lambda p: plenthtools.line_orientation(twin / "roads.shp", tmp_path / "out" / "segments", progress=p),
        lambda p: plenthtools.point_grid(tmp_path / "out" / "grid", 0, 1000, 1000, 0, spacing=10, progress=p),
    ]
    (tmp_path / "out").mkdir()
    for number, run in enumerate(runs):
        stops = Recorder(stop_after=1)
        with pytest.raises(plenthtools.Cancelled):
            run(stops)
        assert len(stops.fractions) == 2, number
        assert {name: (twin / name).read_bytes() for name in os.listdir(twin)} == before, number
        assert os.listdir(tmp_path / "out") == [], number
    for number, run in enumerate(runs):
        recorder = Recorder()
        run(recorder)
        assert recorder.fractions[-1] == 1.0 and recorder.fractions == sorted(recorder.fractions), number


def polygons_and_raster(folder, values):
    """A polygon over a 4 x 1 raster of these values, and the raster."""
    ds = gdal.GetDriverByName("GTiff").Create(str(folder / "cells.tif"), len(values), 1, 1, gdal.GDT_Float32)
    ds.SetGeoTransform((0, 1, 0, 1, 0, -1))
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(32633)
    ds.SetSpatialRef(srs)
    ds.GetRasterBand(1).WriteArray(__import__("numpy").array([values], dtype="float32"))
    ds = None
    shapes = ogr.GetDriverByName("ESRI Shapefile").CreateDataSource(str(folder / "points.shp"))
    layer = shapes.CreateLayer("points", srs, ogr.wkbPoint)
    feature = ogr.Feature(layer.GetLayerDefn())
    feature.SetGeometry(ogr.CreateGeometryFromWkt("POINT (0.5 0.5)"))
    layer.CreateFeature(feature)
    shapes = None
    return folder / "cells.tif", folder / "points.shp"


def test_failures_raise_the_tools_words(sample, tmp_path):
    raster, points = polygons_and_raster(tmp_path, [1.5, 2, 3, 4])
    (tmp_path / "taken.shp").write_bytes(b"")
    cases = [
        (lambda: plenthtools.class_counts(sample / "areas.shp", raster, "c"),
         f"{raster} holds cells of type Float32; classes need an integer raster"),
        (lambda: plenthtools.class_counts(points, sample / "groundcover.tif", "c"), f"{points} is a layer of points, not of polygons"),
        (lambda: plenthtools.sample_raster(sample / "areas.shp", sample / "dem.tif"),
         f"{sample / 'areas.shp'} is a layer of polygons, not of points"),
        (lambda: plenthtools.write_samples(points, raster, "much_too_long_a_name"), "the tool wrote no field"),
        (lambda: plenthtools.line_orientation(points, tmp_path / "x"), f"{points} is a layer of points, not of lines"),
        (lambda: plenthtools.line_orientation(sample / "roads.shp", tmp_path / "taken"),
         "taken.shp exists; the tool never writes over an output"),
        (lambda: plenthtools.point_grid(tmp_path / "taken", 0, 1, 1, 0, spacing=0.5),
         "taken.shp already exists; choose another output name"),
        (lambda: plenthtools.point_grid(tmp_path / "x", 0, 1, 1, 0, spacing=0.5, crs_of=tmp_path / "none.tif"),
         "none.tif: cannot be opened"),
    ]
    for call, text in cases:
        with pytest.raises(plenthtools.Error) as raised:
            call()
        assert text in str(raised.value)


def test_forty_classes_are_refused_and_nothing_is_written(sample, tmp_path):
    ds = gdal.GetDriverByName("GTiff").Create(str(tmp_path / "forty.tif"), 40, 1, 1, gdal.GDT_Byte)
    ds.SetGeoTransform((500000, 30, 0, 4107200, 0, -30))
    ds.GetRasterBand(1).WriteArray(__import__("numpy").arange(40, dtype="uint8").reshape(1, 40))
    ds = None
    before = table_contents(sample / "areas.shp")
    for call in (plenthtools.class_counts, plenthtools.write_class_counts):
        with pytest.raises(plenthtools.Error, match="40 or more distinct cell values"):
            call(sample / "areas.shp", tmp_path / "forty.tif", "c")
    assert table_contents(sample / "areas.shp") == before


def test_bad_arguments_raise_type_and_value_errors(sample, tmp_path):
    cases = [
        (lambda: plenthtools.class_counts(sample / "areas.shp", sample / "groundcover.tif", 5), TypeError),
        (lambda: plenthtools.class_counts(sample / "areas.shp", sample / "groundcover.tif", "c", fids=[1.5]),
         TypeError),
        (lambda: plenthtools.class_counts(sample / "areas.shp", sample / "groundcover.tif", "c", fids=[-1]),
         ValueError),
        (lambda: plenthtools.sample_raster(sample / "sites.shp", sample / "dem.tif", fids=3), TypeError),
        (lambda: plenthtools.write_samples(sample / "sites.shp", sample / "dem.tif", ""), ValueError),
        (lambda: plenthtools.point_grid(tmp_path / "g", 0, 1, 1, 0), ValueError),
        (lambda: plenthtools.point_grid(tmp_path / "g", 0, 1, 1, 0, spacing=1, count=3), ValueError),
        (lambda: plenthtools.point_grid(tmp_path / "g", 1, 0, 1, 0, spacing=1), ValueError),
        (lambda: plenthtools.point_grid(tmp_path / "g", 0, 1, 0, 1, spacing=1), ValueError),
        (lambda: plenthtools.point_grid(tmp_path / "g", 0, 1, 1, 0, spacing=0), ValueError),
        (lambda: plenthtools.point_grid(tmp_path / "g", 0, 1e20, 1, 0, spacing=1e-9), ValueError),
        (lambda: plenthtools.point_grid(tmp_path / "g", 0, 1, 1, 0, count=-1), ValueError),
        (lambda: plenthtools.point_grid(tmp_path / "g", "0", 1, 1, 0, spacing=1), TypeError),
        (lambda: plenthtools.point_grid(tmp_path / "g", 0, 1, 1, 0, count=2.5), TypeError),
        (lambda: plenthtools.point_grid(tmp_path / "g", 0, 1, 1, 0, spacing=1, crs="no such system"), ValueError),
        (lambda: plenthtools.point_grid(tmp_path / "g", 0, 1, 1, 0, spacing=1, crs=32633), TypeError),
        (lambda: plenthtools.point_grid(tmp_path / "g", 0, 1, 1, 0, spacing=1, crs_of=sample / "dem.tif",
                                        crs=gdal.Open(str(sample / "dem.tif")).GetProjection()), ValueError),
    ]
    for number, (call, error) in enumerate(cases):
        with pytest.raises(error):
            call()
        assert not os.path.exists(tmp_path / "g.shp"), number


def test_batches_with_the_rasters_classes_count_as_one_run(sample):
    whole = plenthtools.class_counts(sample / "areas.shp", sample / "groundcover.tif", "gc")
    classes = plenthtools.raster_classes(sample / "groundcover.tif")
    assert [f"gc{c}" for c in classes] == list(next(iter(whole.values())))
    batched = {}
    for batch in ([0, 2], [1], [3, 99]):
        batched.update(plenthtools.class_counts(sample / "areas.shp", sample / "groundcover.tif", "gc", fids=batch,
                                                classes=classes))
    assert batched == whole


def test_with_the_classes_given_only_the_rows_the_polygons_reach_are_read(tmp_path):
    # A raster of 3 classes whose last rows hold a fourth value, and a polygon over its top.
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(32633)
    ds = gdal.GetDriverByName("GTiff").Create(str(tmp_path / "cells.tif"), 20, 60, 1, gdal.GDT_Int16)
    ds.SetGeoTransform((0, 1, 0, 60, 0, -1))
    ds.SetSpatialRef(srs)
    cells = __import__("numpy").fromfunction(lambda r, c: (r + c) % 3, (60, 20)).astype("int16")
    cells[50:, :] = 7
    ds.GetRasterBand(1).WriteArray(cells)
    ds = None
    shapes = ogr.GetDriverByName("ESRI Shapefile").CreateDataSource(str(tmp_path / "areas.shp"))
    layer = shapes.CreateLayer("areas", srs, ogr.wkbPolygon)
    for wkt in ("POLYGON ((2 58,15 58,15 45,2 45,2 58))", "POLYGON ((1 12,9 12,9 3,1 3,1 12))"):
        feature = ogr.Feature(layer.GetLayerDefn())
        feature.SetGeometry(ogr.CreateGeometryFromWkt(wkt))
        layer.CreateFeature(feature)
    shapes = None
    classes = plenthtools.raster_classes(tmp_path / "cells.tif")
    assert classes == [0, 1, 2, 7]
    whole = plenthtools.class_counts(tmp_path / "areas.shp", tmp_path / "cells.tif", "c")
    assert whole[0]["c7"] == 0 and sum(whole[0].values()) == 13 * 13
    # The rows of 7s lie below the first polygon: its counts need no class for them.
    top = plenthtools.class_counts(tmp_path / "areas.shp", tmp_path / "cells.tif", "c", fids=[0], classes=[0, 1, 2])
    assert top == {0: {c: whole[0][c] for c in ("c0", "c1", "c2")}}
    with pytest.raises(plenthtools.Error, match="not among the classes given"):
        plenthtools.class_counts(tmp_path / "areas.shp", tmp_path / "cells.tif", "c", fids=[1], classes=[0, 1, 2])
    assert plenthtools.class_counts(tmp_path / "areas.shp", tmp_path / "cells.tif", "c", fids=[1],
                                    classes=classes) == {1: whole[1]}
