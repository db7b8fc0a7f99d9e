"""effort_surface and effort_bands beside plenth effort-surface."""

import os

import numpy as np
import pytest
from conftest import Recorder, raster_contents
from osgeo import gdal

import plenthtools


def inputs(folder):
    return [folder / "dem.tif", folder / "trails.tif", folder / "trails.tif", folder / "streams.tif",
            folder / "groundcover.tif"]


@pytest.fixture(scope="module")
def surface(plenth, sample_data, tmp_path_factory):
    """plenth's effort surface on the sample data."""
    out = tmp_path_factory.mktemp("cli")
    dem, trails, roads, streams, cover = inputs(sample_data)
    plenth("effort-surface", "--dem", dem, "--trails", trails, "--roads", f"roads={roads}", "--streams", streams,
           "--cover", cover, out / "effort")
    return out / "effort.tif"


def test_the_surface_is_plenths(sample, tmp_path, surface):
    lines = []
    written = plenthtools.effort_surface(*inputs(sample), tmp_path / "an_effort_surface.tif", log=lines.append)
    assert written == str(tmp_path / "an_effort_surface.tif")
    assert raster_contents(written) == raster_contents(surface)
    log = (tmp_path / "EffortSurface_log.txt").read_bytes().decode()
    assert log.endswith("Operation Complete\r\n")
    assert lines[0] == "Starting to Process Slope Length" and lines[-1] == "Operation Complete"


@pytest.mark.parametrize("rows", [(0, 240), (0, 1), (17, 118), (100, 200), (239, 240), (150, 240)])
def test_rows_are_the_surfaces_rows(sample, tmp_path, surface, rows):
    first, end = rows
    whole = gdal.Open(str(surface))
    expected = np.stack([whole.GetRasterBand(b).ReadAsArray(0, first, 300, end - first) for b in range(1, 5)])
    bands = plenthtools.effort_bands(*inputs(sample), rows=rows)
    assert bands.dtype == np.float32 and bands.shape == (4, end - first, 300)
    assert bands.tobytes() == expected.tobytes()
    written = plenthtools.effort_surface(*inputs(sample), tmp_path / "strip", rows=rows)
    strip = gdal.Open(written)
    assert np.stack([strip.GetRasterBand(b).ReadAsArray() for b in range(1, 5)]).tobytes() == expected.tobytes()
    # The strip lies where its rows lie in the whole surface.
    top = whole.GetGeoTransform()[3] - first * whole.GetGeoTransform()[1]
    assert strip.GetGeoTransform()[3] == pytest.approx(top, abs=1e-6)
    assert strip.GetGeoTransform()[1] == whole.GetGeoTransform()[1]
    assert not os.path.exists(tmp_path / "EffortSurface_log.txt")


def test_all_the_bands_are_the_surface(sample, surface):
    bands = plenthtools.effort_bands(*inputs(sample))
    whole = gdal.Open(str(surface))
    assert bands.tobytes() == np.stack([whole.GetRasterBand(b).ReadAsArray() for b in range(1, 5)]).tobytes()


def test_progress_follows_the_rows_and_a_stop_leaves_nothing(sample, tmp_path):
    recorder = Recorder()
    plenthtools.effort_surface(*inputs(sample), tmp_path / "whole", progress=recorder)
    assert recorder.fractions == [0.0, 100 / 240, 200 / 240, 1.0]
    (tmp_path / "out").mkdir()
    for stop in (Recorder(stop_after=1), Recorder(answer=False)):
        with pytest.raises(plenthtools.Cancelled):
            plenthtools.effort_surface(*inputs(sample), tmp_path / "out" / "effort", rows=(50, 240), progress=stop)
        with pytest.raises(plenthtools.Cancelled):
            plenthtools.effort_bands(*inputs(sample), progress=stop)
    assert os.listdir(tmp_path / "out") == []


def test_failures_raise_the_tools_words(sample, tmp_path):
    small = tmp_path / "small.tif"
    gdal.Translate(str(small), str(sample / "trails.tif"), srcWin=[0, 0, 100, 100])
    (tmp_path / "taken.tif").write_bytes(b"")
    dem, trails, roads, streams, cover = inputs(sample)
    cases = [
        (lambda: plenthtools.effort_surface(dem, small, roads, streams, cover, tmp_path / "e"),
         "Input Trails dataset is 100 x 100 cells, not the DEM's 300 x 240"),
        (lambda: plenthtools.effort_surface(dem, trails, tmp_path / "gone.tif", streams, cover, tmp_path / "e"),
         "gone.tif: no such file"),
        (lambda: plenthtools.effort_surface(dem, trails, roads, streams, cover, tmp_path / "taken"),
         "taken.tif exists already; the run will not write over it"),
    ]
    for call, text in cases:
        with pytest.raises(plenthtools.Error) as raised:
            call()
        assert text in str(raised.value)
    assert not os.path.exists(tmp_path / "e.tif")


def test_bad_arguments_raise_type_and_value_errors(sample, tmp_path):
    for rows, error in [((0, 241), ValueError), ((5, 5), ValueError), ((-1, 3), ValueError), ((1,), TypeError),
                        ((0.5, 3), TypeError), ("0:3", TypeError)]:
        with pytest.raises(error):
            plenthtools.effort_bands(*inputs(sample), rows=rows)
    with pytest.raises(TypeError):
        plenthtools.effort_surface(*inputs(sample), tmp_path / "e", z_factor="2")


def test_a_strip_of_a_dem_of_oblong_cells_lies_on_its_rows(sample, tmp_path):
    # The sample rasters with cells 30 wide and 20 high.
    for name in ("dem", "trails", "streams", "groundcover"):
        ds = gdal.Translate(str(tmp_path / f"{name}.tif"), str(sample / f"{name}.tif"))
        ds.SetGeoTransform((500000.0, 30.0, 0, 4107200.0, 0, -20.0))
        ds = None
    rasters = inputs(tmp_path)
    whole = gdal.Open(plenthtools.effort_surface(*rasters, tmp_path / "whole.tif"))
    strip = gdal.Open(plenthtools.effort_surface(*rasters, tmp_path / "strip.tif", rows=(37, 161)))
    assert strip.GetGeoTransform() == (500000.0, 30.0, 0, 4107200.0 - 37 * 20.0, 0, -20.0)
    assert whole.GetGeoTransform() == (500000.0, 30.0, 0, 4107200.0, 0, -20.0)
    for b in range(1, 5):
        assert strip.GetRasterBand(b).ReadRaster() == whole.GetRasterBand(b).ReadRaster(0, 37, 300, 124)
