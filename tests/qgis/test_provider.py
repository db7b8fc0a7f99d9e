"""The QGIS plugin's Processing provider beside plenth: each algorithm run headless with
qgis_process on the sample data writes what plenth writes, and in a QGIS of this process
processing.run says what is wrong before a run, warns, cancels and runs."""

import os
import shutil
import subprocess
import sys

import pytest
from osgeo import gdal, ogr, osr

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "python"))
from conftest import column_values, plenth, raster_contents, sample_data, table_contents  # noqa: E402,F401

PLUGINS = os.environ["PLENTH_QGIS_PLUGINS"]  # the folder holding the plugin's folder plenthtools
# Debian's qgis_process is a wrapper that puts the options of /etc/default/qgis
# (--noversioncheck) before the command, which qgis_process.bin then refuses as an unknown
# command; the binary itself takes the command line as given.
QGIS_PROCESS = "qgis_process.bin"
ALGORITHMS = ["effortsurface", "exportgrid", "gridspot", "importgrid", "lineorientation", "pointgrid", "polyclip"]
SAMPLE_EXTENT = "501000,508000,4100000,4105000 [EPSG:32633]"


@pytest.fixture(scope="module")
def private_home(tmp_path_factory):
    """A home folder of the tests' own, for QGIS's settings, profiles and caches, so that
    nothing depends on the machine's QGIS or is left in it."""
    home = tmp_path_factory.mktemp("qgis-home")
    runtime = home / "runtime"
    runtime.mkdir(mode=0o700)
    return dict(HOME=str(home), XDG_CONFIG_HOME=str(home / ".config"), XDG_DATA_HOME=str(home / ".local/share"),
                XDG_CACHE_HOME=str(home / ".cache"), XDG_RUNTIME_DIR=str(runtime), QT_QPA_PLATFORM="offscreen")


@pytest.fixture(scope="module")
def qgis_env(private_home):
    """The environment of a qgis_process in which the plugin is enabled, and which finds
    the plugin in the build tree and the package from there."""
    env = {key: value for key, value in os.environ.items() if key != "PYTHONPATH"}
    env.update(private_home, QGIS_PLUGINPATH=PLUGINS)
    done = subprocess.run([QGIS_PROCESS, "plugins", "enable", "plenthtools"], env=env, capture_output=True,
                          text=True, timeout=300)
    assert "Enabled plenthtools" in done.stdout, done.stdout + done.stderr
    return env


def qgis_process(env, *args):
    return subprocess.run([QGIS_PROCESS, *map(str, args)], env=env, capture_output=True, text=True, timeout=300)


@pytest.fixture(scope="module")
def made_by_plenth(plenth, sample_data, tmp_path_factory):
    """Every tool's output as plenth writes it, on its own copy of the sample data."""
    folder = tmp_path_factory.mktemp("plenth")
    shutil.copytree(sample_data, folder, dirs_exist_ok=True)
    plenth("export-grid", folder / "dem.tif", folder / "dem")
    plenth("import-grid", folder / "dem.dat", folder / "back")
    plenth("effort-surface", "--dem", folder / "dem.tif", "--trails", folder / "trails.tif", "--roads",
           folder / "trails.tif", "--streams", folder / "streams.tif", "--cover", folder / "groundcover.tif",
           folder / "effort")
    plenth("poly-clip", folder / "areas.shp", folder / "groundcover.tif", "--prefix", "gc")
    plenth("grid-spot", folder / "sites.shp", folder / "dem.tif", "--field", "elev")
    plenth("line-orientation", folder / "roads.shp", folder / "roadseg")
    bounds = ["--west", "501000", "--east", "508000", "--north", "4105000", "--south", "4100000"]
    plenth("point-grid", folder / "grid", *bounds, "--spacing", "500", "--crs-of", folder / "dem.tif")
    plenth("point-grid", folder / "random", *bounds, "--random", "333", "--seed", "7", "--crs-of", folder / "dem.tif")
    return folder


def same_table(a, b):
    """Columns and features alike, field by field, and coordinate systems that are the same."""
    columns_a, features_a, wkt_a = table_contents(a)
    columns_b, features_b, wkt_b = table_contents(b)
    assert columns_a == columns_b
    assert features_a == features_b
    assert osr.SpatialReference(wkt_a).IsSame(osr.SpatialReference(wkt_b))


def same_raster(a, b):
    assert raster_contents(a) == raster_contents(b)


def same_bytes(a, b):
    assert open(a, "rb").read() == open(b, "rb").read()


# Each algorithm: its parameters ({s}: the sample data, {p}: plenth's outputs, {q}: the
# algorithm's output folder), its output, plenth's, and how they must agree.
RUNS = {
    "exportgrid": ({"INPUT": "{s}/dem.tif", "OUTPUT": "{q}/dem.dat"}, "dem.dat", "dem.dat", same_bytes),
    "importgrid": ({"INPUT": "{p}/dem.dat", "OUTPUT": "{q}/imported.tif"}, "imported.tif", "back.tif", same_raster),
    "effortsurface": ({"DEM": "{s}/dem.tif", "TRAILS": "{s}/trails.tif", "ROADS": "{s}/trails.tif",
                       "STREAMS": "{s}/streams.tif", "COVER": "{s}/groundcover.tif", "Z_FACTOR": "1",
                       "OUTPUT": "{q}/effort_surface.tif"}, "effort_surface.tif", "effort.tif", same_raster),
    "polyclip": ({"POLYGONS": "{s}/areas.shp", "RASTER": "{s}/groundcover.tif", "PREFIX": "gc",
                  "OUTPUT": "{q}/areas_counted.shp"}, "areas_counted.shp", "areas.shp", same_table),
    "gridspot": ({"POINTS": "{s}/sites.shp", "RASTER": "{s}/dem.tif", "FIELD": "elev", "OUTPUT": "{q}/sites.shp"},
                 "sites.shp", "sites.shp", same_table),
    "lineorientation": ({"LINES": "{s}/roads.shp", "OUTPUT": "{q}/road_segments.shp"}, "road_segments.shp",
                        "roadseg.shp", same_table),
    "pointgrid": ({"EXTENT": SAMPLE_EXTENT, "SPACING": "500", "OUTPUT": "{q}/grid.shp"}, "grid.shp", "grid.shp",
                  same_table),
    "pointgrid-random": ({"EXTENT": SAMPLE_EXTENT, "COUNT": "333", "SEED": "7", "OUTPUT": "{q}/random.shp"},
                         "random.shp", "random.shp", same_table),
}


def test_the_plugin_brings_the_seven_algorithms(qgis_env):
    listed = qgis_process(qgis_env, "list").stdout.split()
    assert sorted(word for word in listed if word.startswith("plenthtools:")) == \
        [f"plenthtools:{name}" for name in ALGORITHMS]


@pytest.mark.parametrize("run", RUNS)
def test_each_algorithm_writes_what_plenth_writes(qgis_env, sample_data, made_by_plenth, tmp_path, run):
    parameters, written, by_plenth, same = RUNS[run]
    values = {key: value.format(s=sample_data, p=made_by_plenth, q=tmp_path) for key, value in parameters.items()}
    before = {name: (sample_data / name).read_bytes() for name in os.listdir(sample_data)}
    done = qgis_process(qgis_env, "run", f"plenthtools:{run.split('-')[0]}", "--",
                        *(f"{key}={value}" for key, value in values.items()))
    assert done.returncode == 0, done.stdout + done.stderr
    assert f"OUTPUT:\t{tmp_path / written}" in done.stdout
    same(tmp_path / written, made_by_plenth / by_plenth)
    # The inputs as they were (QGIS may add its statistics of a raster beside it).
    assert {name: (sample_data / name).read_bytes() for name in before} == before


def test_a_geopackage_layer_is_taken_as_it_is(qgis_env, sample_data, made_by_plenth, tmp_path):
    gdal.VectorTranslate(str(tmp_path / "areas.gpkg"), str(sample_data / "areas.shp"), format="GPKG",
                         layerName="areas")
    done = qgis_process(qgis_env, "run", "plenthtools:polyclip", "--",
                        f"POLYGONS={tmp_path}/areas.gpkg|layername=areas", f"RASTER={sample_data}/groundcover.tif",
                        "PREFIX=gc", f"OUTPUT={tmp_path}/counted.shp")
    assert done.returncode == 0, done.stdout + done.stderr
    expected = table_contents(made_by_plenth / "areas.shp")[0]
    counts = [name for name, _ in expected if name.startswith("gc")]
    assert counts
    for column in counts + ["NAME"]:
        assert list(column_values(tmp_path / "counted.shp", column).values()) == \
            list(column_values(made_by_plenth / "areas.shp", column).values()), column
    assert [shape for _, _, shape in table_contents(tmp_path / "counted.shp")[1]] == \
        [shape for _, _, shape in table_contents(made_by_plenth / "areas.shp")[1]]


def test_a_bad_parameter_is_refused_with_the_reason(qgis_env, sample_data, tmp_path):
    done = qgis_process(qgis_env, "run", "plenthtools:polyclip", "--", f"POLYGONS={sample_data}/areas.shp",
                        f"RASTER={sample_data}/dem.tif", "PREFIX=gc", f"OUTPUT={tmp_path}/counted.shp")
    assert done.returncode != 0
    assert f"{sample_data}/dem.tif holds cells of type Float32; classes need an integer raster (8, 16 or 32 bits)" \
        in done.stdout + done.stderr
    assert os.listdir(tmp_path) == []


# In this process: a QGIS with Processing, and the provider started as QGIS starts it.

@pytest.fixture(scope="module")
def processing(private_home):
    os.environ.update(private_home)
    from qgis.core import QgsApplication

    sys.path.insert(0, PLUGINS)
    sys.path.append("/usr/share/qgis/python/plugins")  # Processing itself
    app = QgsApplication([], False)
    app.initQgis()
    import processing as processing_module
    from processing.core.Processing import Processing

    Processing.initialize()
    import plenthtools

    plugin = plenthtools.classFactory(None)
    plugin.initProcessing()
    yield processing_module
    plugin.unload()


def feedback_recording():
    from qgis.core import QgsProcessingFeedback

    class Recording(QgsProcessingFeedback):
        def __init__(self):
            super().__init__()
            self.infos, self.warnings = [], []

        def pushInfo(self, text):  # noqa: N802
            self.infos.append(text)

        def pushWarning(self, text):  # noqa: N802
            self.warnings.append(text)

    return Recording()


def effort_parameters(folder, output, **changed):
    parameters = {"DEM": str(folder / "dem.tif"), "TRAILS": str(folder / "trails.tif"),
                  "ROADS": str(folder / "trails.tif"), "STREAMS": str(folder / "streams.tif"),
                  "COVER": str(folder / "groundcover.tif"), "OUTPUT": str(output)}
    parameters.update({key: str(value) for key, value in changed.items()})
    return parameters


def test_processing_run_writes_the_effort_surface_with_its_log(processing, sample_data, made_by_plenth, tmp_path):
    feedback = feedback_recording()
    results = processing.run("plenthtools:effortsurface", effort_parameters(sample_data, tmp_path / "effort.tif"),
                             feedback=feedback)
    assert results["OUTPUT"] == str(tmp_path / "effort.tif")
    same_raster(tmp_path / "effort.tif", made_by_plenth / "effort.tif")
    assert "Operation Complete" in feedback.infos
    assert feedback.warnings == []


def test_a_cancel_stops_the_run_and_leaves_no_output(processing, sample_data, tmp_path):
    from qgis.core import QgsProcessingException

    feedback = feedback_recording()
    progress = []

    def cancel_once_under_way(percent):
        progress.append(percent)
        if percent > 0:
            feedback.cancel()

    feedback.progressChanged.connect(cancel_once_under_way)
    with pytest.raises(QgsProcessingException, match="Cancelled: the run stopped and left no output"):
        processing.run("plenthtools:effortsurface", effort_parameters(sample_data, tmp_path / "effort.tif"),
                       feedback=feedback)
    assert 0 < max(progress) < 100
    assert "Operation Complete" not in feedback.infos
    assert not (tmp_path / "effort.tif").exists()


@pytest.fixture(scope="module")
def awkward(sample_data, tmp_path_factory):
    """Inputs the checks before a run are for, made by GDAL from the sample data."""
    folder = tmp_path_factory.mktemp("awkward")
    gdal.Translate(str(folder / "small.tif"), str(sample_data / "trails.tif"), srcWin=[0, 0, 100, 100])
    gdal.Translate(str(folder / "shifted.tif"), str(sample_data / "streams.tif"),
                   outputBounds=[500030, 4107200, 509030, 4100000])
    unplaced = gdal.GetDriverByName("MEM").CreateCopy("", gdal.Open(str(sample_data / "dem.tif")))
    unplaced.SetSpatialRef(None)
    gdal.GetDriverByName("GTiff").CreateCopy(str(folder / "nowhere.tif"), unplaced)
    gdal.Translate(str(folder / "degrees.tif"), str(sample_data / "dem.tif"), outputSRS="EPSG:4326")
    gdal.VectorTranslate(str(folder / "areas_4326.shp"), str(sample_data / "areas.shp"), dstSRS="EPSG:4326",
                         reproject=True)
    lines = ogr.Open(str(sample_data / "roads.shp"))
    with_text = ogr.GetDriverByName("ESRI Shapefile").CopyDataSource(lines, str(folder / "roads_text.shp"))
    with_text.GetLayer(0).CreateField(ogr.FieldDefn("Azimuth", ogr.OFTString))
    with_text = None
    for table, options in (("first", []), ("second", ["APPEND_SUBDATASET=YES"])):
        gdal.Translate(str(folder / "rasters.gpkg"), str(sample_data / "groundcover.tif"), format="GPKG",
                       creationOptions=[f"RASTER_TABLE={table}", *options])
    (folder / "taken.tif").write_bytes(b"")
    return folder


def test_what_a_run_would_refuse_is_said_before_it(processing, sample_data, awkward, tmp_path):
    from qgis.core import QgsProcessingException, QgsRasterLayer

    s, a = sample_data, awkward
    in_geopackage = QgsRasterLayer(f"GPKG:{a / 'rasters.gpkg'}:second", "second", "gdal")
    assert in_geopackage.isValid()
    cases = [
        ("effortsurface", effort_parameters(s, a / "taken.tif"),
         "taken.tif exists already; the tool never writes over an output"),
        ("effortsurface", effort_parameters(s, tmp_path / "e.img"), "the tool writes GeoTIFF rasters (.tif), not .img"),
        ("polyclip", {"POLYGONS": str(s / "areas.shp"), "RASTER": in_geopackage,
                      "OUTPUT": str(tmp_path / "c.shp")}, "is not a raster file (GPKG:"),
        ("polyclip", {"POLYGONS": str(s / "areas.shp"), "RASTER": str(s / "groundcover.tif"), "PREFIX": "sixchr",
                      "OUTPUT": str(tmp_path / "c.shp")}, "the column prefix holds at most 5 characters"),
        ("gridspot", {"POINTS": str(s / "sites.shp"), "RASTER": str(a / "nowhere.tif"), "FIELD": "elev",
                      "OUTPUT": str(tmp_path / "g.shp")},
         f"{a / 'nowhere.tif'} has no coordinate system; the tool needs one"),
        ("gridspot", {"POINTS": str(s / "sites.shp"), "RASTER": str(s / "dem.tif"), "FIELD": "height",
                      "OUTPUT": str(tmp_path / "g.shp")}, "the field's name holds 1 to 5 characters"),
        ("lineorientation", {"LINES": str(a / "roads_text.shp"), "OUTPUT": str(tmp_path / "l.shp")},
         f"{a / 'roads_text.shp'} has a field Azimuth that does not hold real numbers"),
        ("pointgrid", {"EXTENT": SAMPLE_EXTENT, "SPACING": 500, "COUNT": 10, "OUTPUT": str(tmp_path / "p.shp")},
         "give either a distance between points or a number of random points"),
        ("pointgrid", {"EXTENT": SAMPLE_EXTENT, "SPACING": 0, "OUTPUT": str(tmp_path / "p.shp")},
         "the distance between points must be greater than 0"),
        ("pointgrid", {"EXTENT": SAMPLE_EXTENT, "SPACING": 500, "OUTPUT": str(tmp_path / "p.gpkg")},
         "the tool writes shapefiles (.shp), not .gpkg files"),
    ]
    for algorithm, parameters, reason in cases:
        with pytest.raises(QgsProcessingException) as refused:
            processing.run(f"plenthtools:{algorithm}", parameters)
        # Refused by the checks, before the run.
        assert str(refused.value).startswith("Unable to execute algorithm"), str(refused.value)
        assert reason in str(refused.value), (algorithm, parameters)
    assert os.listdir(tmp_path) == []


def test_what_makes_a_result_doubtful_is_warned_of(processing, sample_data, awkward, tmp_path):
    cases = [
        ("effortsurface", effort_parameters(sample_data, tmp_path / "effort.tif", DEM=awkward / "degrees.tif",
                                            STREAMS=awkward / "shifted.tif"),
         ["the DEM is in geographic coordinates",
          "the streams raster's grid differs from the DEM's (origin 500030, 4107200 against 500000, 4107200)"]),
        ("polyclip", {"POLYGONS": str(awkward / "areas_4326.shp"), "RASTER": str(sample_data / "groundcover.tif"),
                      "PREFIX": "gc", "OUTPUT": str(tmp_path / "counted.shp")},
         ["the tool takes the polygons' coordinates as the raster's without moving them"]),
    ]
    for algorithm, parameters, expected in cases:
        feedback = feedback_recording()
        processing.run(f"plenthtools:{algorithm}", parameters, feedback=feedback)
        assert len(feedback.warnings) == len(expected), feedback.warnings
        for warning, text in zip(feedback.warnings, expected):
            assert text in warning, (warning, text)


def test_a_failure_comes_back_in_the_tools_words(processing, sample_data, awkward, tmp_path):
    from qgis.core import QgsProcessingException

    feedback = feedback_recording()
    refused = "Input Trails dataset is 100 x 100 cells, not the DEM's 300 x 240"
    with pytest.raises(QgsProcessingException, match=refused):
        processing.run("plenthtools:effortsurface",
                       effort_parameters(sample_data, tmp_path / "effort.tif", TRAILS=awkward / "small.tif"),
                       feedback=feedback)
    assert feedback.warnings == ["Warning: the trails raster is 100 x 100 cells, not the DEM's 300 x 240: the run "
                                 "will refuse it"]
    assert not (tmp_path / "effort.tif").exists()
