"""export_grid and import_grid beside plenth export-grid and import-grid."""

import os

import numpy as np
import pytest
from conftest import Recorder, raster_contents
from osgeo import gdal

import plenthtools


def three_bands(path):
    """A raster of three SHORT bands, each with its own cells and no-data value."""
    ds = gdal.GetDriverByName("GTiff").Create(str(path), 23, 17, 3, gdal.GDT_Int16)
    ds.SetGeoTransform((1000.0, 2.5, 0, 2000.0, 0, -2.5))
    for b in range(1, 4):
        band = ds.GetRasterBand(b)
        band.WriteArray((np.arange(23 * 17, dtype=np.int16).reshape(17, 23) * b - 50))
        band.SetNoDataValue(-9 * b)
    ds = None
    return path


@pytest.mark.parametrize("raster", ["dem.tif", "groundcover.tif", "trails.tif", "three.tif"])
def test_export_writes_what_plenth_writes(plenth, sample, tmp_path, raster):
    three_bands(sample / "three.tif")
    (tmp_path / "cli").mkdir()
    (tmp_path / "pkg").mkdir()
    plenth("export-grid", sample / raster, tmp_path / "cli" / "grid")
    written = plenthtools.export_grid(sample / raster, tmp_path / "pkg" / "grid")
    expected = sorted(os.listdir(tmp_path / "cli"))
    assert [os.path.basename(p) for p in written] == expected
    for name in expected:
        assert (tmp_path / "pkg" / name).read_bytes() == (tmp_path / "cli" / name).read_bytes(), name


def test_import_creates_what_plenth_creates(plenth, sample, tmp_path):
    plenthtools.export_grid(sample / "dem.tif", tmp_path / "dem")
    plenth("import-grid", tmp_path / "dem.dat", tmp_path / "cli")
    written = plenthtools.import_grid(tmp_path / "dem.dat", tmp_path / "pkg")
    assert written == str(tmp_path / "pkg.tif")
    assert raster_contents(written) == raster_contents(tmp_path / "cli.tif")


def test_names_are_not_cut(sample, tmp_path):
    long_name = "a_base_name_longer_than_the_dialog_keeps"
    written = plenthtools.export_grid(sample / "dem.tif", tmp_path / long_name)
    assert written == [str(tmp_path / (long_name + ".dat"))]
    assert plenthtools.import_grid(written[0], tmp_path / (long_name + ".tif")) == str(tmp_path / (long_name + ".tif"))


def test_progress_ends_at_one(sample, tmp_path):
    for run in (lambda p: plenthtools.export_grid(sample / "dem.tif", tmp_path / "dem", progress=p),
                lambda p: plenthtools.import_grid(tmp_path / "dem.dat", tmp_path / "back", progress=p)):
        recorder = Recorder()
        run(recorder)
        assert recorder.fractions and recorder.fractions[-1] == 1.0
        assert recorder.fractions == sorted(recorder.fractions)


class Stop(Exception):
    pass


def refuse(fraction):
    raise Stop()


@pytest.mark.parametrize("progress, raised", [(Recorder(answer=False), plenthtools.Cancelled),
                                              (refuse, Stop)])
def test_a_stopped_run_leaves_nothing(sample, tmp_path, progress, raised):
    three_bands(sample / "three.tif")
    plenthtools.export_grid(sample / "dem.tif", tmp_path / "dem")
    (tmp_path / "out").mkdir()
    with pytest.raises(raised):
        plenthtools.export_grid(sample / "three.tif", tmp_path / "out" / "grid", progress=progress)
    with pytest.raises(raised):
        plenthtools.import_grid(tmp_path / "dem.dat", tmp_path / "out" / "back", progress=progress)
    assert os.listdir(tmp_path / "out") == []


def test_a_stop_after_the_first_band_takes_its_file_away(sample, tmp_path):
    # Three bands of one strip each: the fourth report comes before the third band.
    three_bands(sample / "three.tif")
    (tmp_path / "out").mkdir()
    stops = Recorder(stop_after=2)
    with pytest.raises(plenthtools.Cancelled):
        plenthtools.export_grid(sample / "three.tif", tmp_path / "out" / "grid", progress=stops)
    assert len(stops.fractions) == 3
    assert os.listdir(tmp_path / "out") == []


def test_failures_raise_the_tools_words(sample, tmp_path):
    (tmp_path / "notagrid.dat").write_text("hello\n")
    (tmp_path / "taken.tif").write_bytes(b"")
    cases = [
        (lambda: plenthtools.export_grid(tmp_path / "missing.tif", tmp_path / "x"), "missing.tif: no such file"),
        (lambda: plenthtools.export_grid(sample / "areas.shp", tmp_path / "x"),
         "not a raster the data library can open"),
        (lambda: plenthtools.export_grid(sample / "dem.tif", tmp_path / "nowhere" / "x"),
         "the output directory " + str(tmp_path / "nowhere") + "/ does not exist"),
        (lambda: plenthtools.import_grid(tmp_path / "notagrid.dat", tmp_path / "x"), "shit"),
        (lambda: plenthtools.import_grid(tmp_path / "notagrid.dat", tmp_path / "taken"),
         str(tmp_path / "taken.tif") + " already exists; choose another output name"),
    ]
    for call, text in cases:
        with pytest.raises(plenthtools.Error) as raised:
            call()
        assert text in str(raised.value)
    assert not os.path.exists(tmp_path / "x.tif")


def test_bad_arguments_raise_type_and_value_errors(sample, tmp_path):
    cases = [
        (lambda: plenthtools.export_grid(5, tmp_path / "x"), TypeError),
        (lambda: plenthtools.export_grid(sample / "dem.tif", None), TypeError),
        (lambda: plenthtools.export_grid(sample / "dem.tif", tmp_path / "x", progress=3), TypeError),
        (lambda: plenthtools.export_grid(str(sample / "dem.tif") + "\0.tif", tmp_path / "x"), ValueError),
        (lambda: plenthtools.import_grid(tmp_path / "x.dat", str(tmp_path) + "/"), ValueError),
    ]
    for call, error in cases:
        with pytest.raises(error):
            call()
