"""The checks before a run: plenth's, in plenth's words, as findings and as warnings."""

import pytest
from osgeo import gdal, ogr, osr

import plenthtools
from plenthtools import Finding, PlenthWarning


def reprojected(source, target, epsg):
    """The raster warped into another coordinate system."""
    gdal.Warp(str(target), str(source), dstSRS=f"EPSG:{epsg}")
    return target


def plenth_says(plenth_run, *args):
    """plenth's lines of warning or refusal for a run on these files."""
    import subprocess
    done = subprocess.run([*plenth_run, *map(str, args)], capture_output=True, text=True, timeout=300)
    return done.stdout + done.stderr


@pytest.fixture
def plenth_cmd(tmp_path):
    import os
    return [os.environ.get("PLENTH_BINARY", "plenth"), "--registry", str(tmp_path / "registry.reg")]


def test_another_coordinate_system_is_plenths_warning(sample, tmp_path, plenth_cmd):
    raster = reprojected(sample / "groundcover.tif", tmp_path / "cover4326.tif", 4326)
    findings = plenthtools.check_class_counts(sample / "areas.shp", raster)
    assert [f.kind for f in findings] == ["warning"]
    said = plenth_says(plenth_cmd, "poly-clip", sample / "areas.shp", raster, "--prefix", "c", "--force")
    assert f"warning: {findings[0].text}\n" in said
    with pytest.warns(PlenthWarning, match="without moving them"):
        counts = plenthtools.class_counts(sample / "areas.shp", raster, "c")
    assert counts  # counted where the polygons' numbers fall, as the tool does


def test_a_geographic_dem_is_plenths_warning(sample, tmp_path, plenth_cmd):
    folder = tmp_path / "geo"
    folder.mkdir()
    rasters = [reprojected(sample / f"{name}.tif", folder / f"{name}.tif", 4326)
               for name in ("dem", "trails", "streams", "groundcover")]
    dem, trails, streams, cover = rasters
    findings = plenthtools.check_effort_surface(dem, trails, trails, streams, cover)
    assert [f.kind for f in findings] == ["note", "warning"]
    assert findings[1].text.startswith("the DEM is in geographic coordinates")
    said = plenth_says(plenth_cmd, "effort-surface", "--dem", dem, "--trails", trails, "--roads", f"roads={trails}",
                       "--streams", streams, "--cover", cover, tmp_path / "effort")
    for finding in findings:
        assert f"{finding.kind}: {finding.text}\n" in said
    with pytest.warns(PlenthWarning, match="geographic coordinates"):
        plenthtools.effort_surface(dem, trails, trails, streams, cover, tmp_path / "pkg")


def test_refusals_are_findings_before_anything_is_written(sample, tmp_path):
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(32633)
    ds = ogr.GetDriverByName("ESRI Shapefile").CreateDataSource(str(tmp_path / "lines.shp"))
    layer = ds.CreateLayer("lines", srs, ogr.wkbLineString)
    layer.CreateField(ogr.FieldDefn("Azimuth", ogr.OFTInteger))
    ds = None
    cases = [
        (plenthtools.check_line_orientation(tmp_path / "lines.shp"),
         f"{tmp_path / 'lines.shp'} has a field Azimuth that does not hold real numbers; the tool cannot replace it"),
        (plenthtools.check_samples(tmp_path / "gone.shp", sample / "dem.tif"), f"{tmp_path / 'gone.shp'}: no such file"),
        (plenthtools.check_samples(sample / "sites.shp", sample / "areas.shp"), f"{sample / 'areas.shp'}: not a raster"),
        (plenthtools.check_class_counts(sample / "sites.shp", sample / "groundcover.tif"),
         f"{sample / 'sites.shp'} is a layer of points, not of polygons"),
    ]
    for findings, text in cases:
        assert findings == [Finding("error", text)]
    with pytest.raises(plenthtools.Error, match="does not hold real numbers"):
        plenthtools.line_orientation(tmp_path / "lines.shp", tmp_path / "out")
    assert not (tmp_path / "out.shp").exists()


def test_refusals_of_data_the_tools_cannot_use_are_plenths(sample, tmp_path):
    """A 1-bit raster gives no classes, and a field name that finds the object ids rather
    than a column of the table cannot be written: both refused in plenth's words, nothing
    changed."""
    onebit = tmp_path / "onebit.tif"
    gdal.Translate(str(onebit), str(sample / "trails.tif"), creationOptions=["NBITS=1"])
    with pytest.raises(plenthtools.Error, match="holds cells of 1 bit; classes need an integer raster"):
        plenthtools.write_class_counts(sample / "areas.shp", onebit, "b")
    before = (sample / "sites.dbf").read_bytes()
    with pytest.raises(plenthtools.Error, match="the field name FID names the points' object ids"):
        plenthtools.write_samples(sample / "sites.shp", sample / "dem.tif", "FID")
    assert (sample / "sites.dbf").read_bytes() == before
