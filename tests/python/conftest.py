"""What the package's tests share: plenth run as a person runs it, with its own registry,
the project's sample data, and the contents of rasters and tables to compare."""

import os
import shutil
import subprocess

import pytest
from osgeo import gdal, ogr

gdal.UseExceptions()
ogr.UseExceptions()

PLENTH = os.environ.get("PLENTH_BINARY", "plenth")


@pytest.fixture(scope="session")
def plenth(tmp_path_factory):
    """Runs plenth with the arguments; its output, or a failed test when it fails."""
    registry = tmp_path_factory.mktemp("registry") / "registry.reg"

    def run(*args, cwd=None):
        done = subprocess.run([PLENTH, "--registry", str(registry), *map(str, args)], capture_output=True,
                              text=True, cwd=cwd, timeout=300)
        assert done.returncode == 0, f"plenth {' '.join(map(str, args))}: {done.stdout}{done.stderr}"
        return done.stdout

    return run


@pytest.fixture(scope="session")
def sample_data(plenth, tmp_path_factory):
    folder = tmp_path_factory.mktemp("sample")
    plenth("sample-data", folder)
    return folder


@pytest.fixture
def sample(sample_data, tmp_path):
    """A copy of the sample data of the test's own, which it may change."""
    folder = tmp_path / "sample"
    shutil.copytree(sample_data, folder)
    return folder


def raster_contents(path):
    """Everything a raster holds that a result is made of: size, georeference, coordinate
    system, and per band its cell type, no-data value and cells, byte for byte."""
    ds = gdal.Open(str(path))
    bands = []
    for b in range(1, ds.RasterCount + 1):
        band = ds.GetRasterBand(b)
        bands.append((gdal.GetDataTypeName(band.DataType), band.GetNoDataValue(), band.ReadRaster()))
    return ds.RasterXSize, ds.RasterYSize, ds.GetGeoTransform(), ds.GetProjection(), bands


def table_contents(path):
    """Every feature of a vector file's first layer: its id, its attributes by name (the
    columns in order, with their types) and its shape as WKB; and the layer's coordinate
    system."""
    ds = ogr.Open(str(path))
    layer = ds.GetLayer(0)
    definition = layer.GetLayerDefn()
    columns = [(definition.GetFieldDefn(i).GetName(), definition.GetFieldDefn(i).GetTypeName())
               for i in range(definition.GetFieldCount())]
    features = []
    for feature in layer:
        shape = feature.GetGeometryRef()
        features.append((feature.GetFID(), [feature.GetField(i) for i in range(len(columns))],
                         bytes(shape.ExportToWkb()) if shape else None))
    srs = layer.GetSpatialRef()
    return columns, features, srs.ExportToWkt() if srs else None


def column_values(path, column):
    """{fid: value} of one column of a vector file's first layer."""
    ds = ogr.Open(str(path))
    return {feature.GetFID(): feature.GetField(column) for feature in ds.GetLayer(0)}


class Recorder:
    """A progress callable that keeps every fraction and answers as told."""

    def __init__(self, answer=True, stop_after=None):
        self.fractions = []
        self.answer = answer
        self.stop_after = stop_after

    def __call__(self, fraction):
        self.fractions.append(fraction)
        if self.stop_after is not None and len(self.fractions) > self.stop_after:
            return False
        return self.answer
