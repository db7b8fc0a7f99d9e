"""The seven tools as Processing algorithms.

Each algorithm hands its inputs to the plenthtools function of its tool, in this process:
vector inputs as shapefiles (the layer's own file, or a copy Processing makes of a
GeoPackage table, a memory layer or a selection), rasters as the files GDAL opens. The
function's progress goes to the feedback, whose cancel stops it (it then leaves nothing
behind), its log lines go to the log, and its failures come back in the tools' words.
Before a run, checkParameterValues makes plenth's checks of the files (the package's
check functions, in plenth's words) and refuses what they find wrong, so that the dialog
says it at once, beside what Processing's own parameters cannot hold (names too long for
the tools, outputs that exist or are not GeoTIFFs or shapefiles). What only makes a result
doubtful is a warning in the log as the run starts.
"""

import os
import warnings

from qgis.core import (
    QgsProcessing,
    QgsProcessingAlgorithm,
    QgsProcessingException,
    QgsProcessingFeatureSourceDefinition,
    QgsProcessingOutputLayerDefinition,
    QgsProcessingParameterExtent,
    QgsProcessingParameterFeatureSource,
    QgsProcessingParameterFile,
    QgsProcessingParameterFileDestination,
    QgsProcessingParameterNumber,
    QgsProcessingParameterRasterDestination,
    QgsProcessingParameterRasterLayer,
    QgsProcessingParameterString,
    QgsProcessingParameterVectorDestination,
    QgsProperty,
    QgsProviderRegistry,
)
from qgis.PyQt.QtGui import QIcon

from . import (
    Cancelled,
    Error,
    PlenthWarning,
    check_class_counts,
    check_effort_surface,
    check_line_orientation,
    check_samples,
    effort_surface,
    export_grid,
    import_grid,
    line_orientation,
    point_grid,
    write_class_counts,
    write_samples,
)

_ICONS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "icons")


def icon(name):
    """The tool's toolbar picture."""
    return QIcon(os.path.join(_ICONS, name + ".png"))


class PlenthAlgorithm(QgsProcessingAlgorithm):
    """What the seven share: names, help and icon from the class, the checks before a run,
    and the call of the package's function."""

    NAME = ""  # the algorithm's id within the provider
    CAPTION = ""  # the tool's own caption
    ICON = ""  # the tool's picture
    HELP = ""

    def name(self):
        return self.NAME

    def displayName(self):  # noqa: N802 - the names Processing calls
        return self.CAPTION

    def shortHelpString(self):  # noqa: N802
        return self.HELP

    def icon(self):
        return icon(self.ICON)

    def createInstance(self):  # noqa: N802
        return type(self)()

    def checkParameterValues(self, parameters, context):  # noqa: N802
        ok, message = super().checkParameterValues(parameters, context)
        if not ok:
            return ok, message
        problems = self.problems(parameters, context) + self.output_problems(parameters)
        return (False, "\n".join(problems)) if problems else (True, "")

    def problems(self, parameters, context):
        """What the run would refuse, or could not do right: a list of texts."""
        return []

    @staticmethod
    def errors(findings):
        """The errors among the findings of the package's checks."""
        return [finding.text for finding in findings if finding.kind == "error"]

    # Helpers for the algorithms.

    def raster_layer(self, parameters, name, context):
        layer = self.parameterAsRasterLayer(parameters, name, context)
        if layer is None:
            raise QgsProcessingException(f"{name}: no raster layer")
        return layer

    def raster_problems(self, parameters, names, context):
        """Rasters that are not files GDAL opens (a web service, a table of a database),
        which the tools cannot read."""
        problems = []
        for name in names:
            layer = self.parameterAsRasterLayer(parameters, name, context)
            if layer is not None and (layer.providerType() != "gdal" or not os.path.isfile(layer.source())):
                problems.append(f"{layer.name()} is not a raster file ({layer.source()}); save it as a GeoTIFF "
                                "first")
        return problems

    def raster_path(self, parameters, name, context):
        return self.raster_layer(parameters, name, context).source()

    def shapefile_of_layer(self, parameters, name, context):
        """The shapefile a vector input is, when it is a whole one on disk, or None: other
        layers (a table of a GeoPackage, a memory layer, a selection) become a shapefile
        only when the run starts, and the package checks that one then."""
        value = parameters.get(name)
        if isinstance(value, QgsProcessingFeatureSourceDefinition) and \
                (value.selectedFeaturesOnly or value.featureLimit >= 0):
            return None
        layer = self.parameterAsVectorLayer(parameters, name, context)
        if layer is None or layer.providerType() != "ogr" or layer.subsetString():
            return None
        path = QgsProviderRegistry.instance().decodeUri("ogr", layer.source()).get("path", "")
        return path if path.lower().endswith(".shp") and os.path.isfile(path) else None

    def shapefile(self, parameters, name, context, feedback):
        """A vector input as a shapefile: its own file, or a copy Processing makes."""
        return self.parameterAsCompatibleSourceLayerPath(parameters, name, context, ["shp"], "shp", feedback)

    @staticmethod
    def given_output(parameters, name):
        """The output path as typed, or "" for a temporary output."""
        value = parameters.get(name)
        if isinstance(value, QgsProcessingOutputLayerDefinition):
            value = value.sink
        if isinstance(value, QgsProperty):
            value = value.staticValue()
        value = "" if value is None else str(value)
        return "" if value in ("", QgsProcessing.TEMPORARY_OUTPUT) or value.startswith("memory:") else value

    # The files the tools write, by kind of output.
    OUTPUT_FILES = {
        QgsProcessingParameterRasterDestination: ("GeoTIFF rasters", ["", ".tif", ".tiff"]),
        QgsProcessingParameterVectorDestination: ("shapefiles", ["", ".shp"]),
    }
    # Whether the tool refuses an output that exists (all but the grid export do).
    KEEPS_EXISTING = True

    def output_problems(self, parameters):
        problems = []
        for definition in self.destinationParameterDefinitions():
            path = self.given_output(parameters, definition.name())
            if not path:
                continue
            kind = self.OUTPUT_FILES.get(type(definition))
            extension = os.path.splitext(path)[1]
            if kind and extension.lower() not in kind[1]:
                problems.append(f"{path}: the tool writes {kind[0]} ({kind[1][1]}), not {extension} files")
            elif self.KEEPS_EXISTING and os.path.exists(path):
                problems.append(f"{path} exists already; the tool never writes over an output (choose another name)")
        return problems

    @staticmethod
    def call_tool(feedback, function, *args, log=False, **kwargs):
        """The package's function on the arguments, with the feedback's progress, cancel and
        log, and the warnings of its checks; its failures as QgsProcessingException."""

        def progress(fraction):
            feedback.setProgress(100.0 * fraction)
            return not feedback.isCanceled()

        if log:
            kwargs["log"] = feedback.pushInfo
        try:
            with warnings.catch_warnings():
                warnings.simplefilter("always", PlenthWarning)
                shown = warnings.showwarning

                def show(message, category, *where):
                    if issubclass(category, PlenthWarning):
                        feedback.pushWarning(f"Warning: {message}")
                    else:
                        shown(message, category, *where)

                warnings.showwarning = show
                return function(*args, progress=progress, **kwargs)
        except Cancelled:
            raise QgsProcessingException("Cancelled: the run stopped and left no output") from None
        except (Error, ValueError) as e:
            raise QgsProcessingException(str(e)) from None


class ExportGrid(PlenthAlgorithm):
    NAME = "exportgrid"
    CAPTION = "Export GRID Format to Plenth Format"
    ICON = "exportgrid"
    KEEPS_EXISTING = False
    HELP = (
        "Writes every band of the raster as a Plenth Format grid text file: seven header lines "
        "(ncols, nrows, cellsize, lowerleftX, lowerleftY, datatype, NODATA_value), then the cells row by row "
        "from the top, with CR LF line ends.\n"
        "A raster of one band is written at the path given. A raster of several bands gives one file per band, "
        "the band's index from 0 before .dat: elev.dat names elev0.dat, elev1.dat, ...\n"
        "Cells of the eight types UCHAR, CHAR, USHORT, SHORT, ULONG, LONG, FLOAT and DOUBLE; FLOAT and DOUBLE "
        "values are written with seven significant digits (1.250000e+001).\n"
        "The tool's own dialog keeps 24 characters of the typed name; here the path is used as given."
    )

    def initAlgorithm(self, config=None):  # noqa: N802
        self.addParameter(QgsProcessingParameterRasterLayer("INPUT", "Raster"))
        self.addParameter(QgsProcessingParameterFileDestination("OUTPUT", "Plenth Format file",
                                                                "Plenth Format (*.dat)"))

    def problems(self, parameters, context):
        return self.raster_problems(parameters, ["INPUT"], context)

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        raster = self.raster_path(parameters, "INPUT", context)
        output = self.parameterAsFileOutput(parameters, "OUTPUT", context)
        # The tool adds ".dat" (and a band's index before it) to the name it is given.
        base = output[:-len(".dat")] if output.endswith(".dat") else output
        files = self.call_tool(feedback, export_grid, raster, base, log=True)
        for file in files:
            feedback.pushInfo(f"wrote {file}")
        return {"OUTPUT": files[0] if files else output}


class ImportGrid(PlenthAlgorithm):
    NAME = "importgrid"
    CAPTION = "Import Plenth Format to GRID Format"
    ICON = "importgrid"
    HELP = (
        "Creates a one-band GeoTIFF from a Plenth Format grid text file, with the file's size, cell type, "
        "cell size, lower-left corner and no-data value.\n"
        "The cell size and the corner are read as single-precision numbers (about seven significant digits). "
        "The format holds no coordinate system, so the raster has none.\n"
        "An existing raster is never written over. The tool's own dialog keeps 24 characters of the typed name; "
        "here the path is used as given."
    )

    def initAlgorithm(self, config=None):  # noqa: N802
        self.addParameter(QgsProcessingParameterFile("INPUT", "Plenth Format file", extension="dat"))
        self.addParameter(QgsProcessingParameterRasterDestination("OUTPUT", "Raster"))

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        gridfile = self.parameterAsFile(parameters, "INPUT", context)
        output = self.parameterAsOutputLayer(parameters, "OUTPUT", context)
        return {"OUTPUT": self.call_tool(feedback, import_grid, gridfile, output, log=True)}


class EffortSurface(PlenthAlgorithm):
    NAME = "effortsurface"
    CAPTION = "Effort Surface Calculator"
    ICON = "effortsurface"
    HELP = (
        "From a DEM and three class rasters on its grid, writes a raster of four FLOAT bands on the DEM's grid: "
        "for every cell, the cost of a step to its north, north-east, east and south-east neighbour, or -1 "
        "(the bands' no-data value) where no step is possible.\n"
        "A step costs more the steeper and the longer it is along the ground; a quarter of that along a trail "
        "(both cells on a trail); it is barred into a stream cell and into ground cover 1, and scaled by the "
        "ground cover of the cell stepped into (2: 1.4, 4: 1.0, 5: 1.1, 6: 3.0, 7: 1.8, 9: 1.2, any other: 1.5). "
        "A trail or stream cell is one whose value differs from its band's no-data value.\n"
        "The class rasters must have the DEM's columns and rows: their cells are paired with the DEM's by row "
        "and column, not by position. The Roads raster is required but not read. The Z factor is recorded but "
        "not applied: costs use elevations as stored, so they must be in the unit of the cell size (project a "
        "DEM in geographic coordinates first).\n"
        "The run's log goes beside the output as EffortSurface_log.txt. An existing raster is never written "
        "over. The tool's own dialog keeps 7 characters of the output's name; here the path is used as given."
    )
    INPUTS = [("DEM", "DEM"), ("TRAILS", "Trails"), ("ROADS", "Roads"), ("STREAMS", "Streams"),
              ("COVER", "Ground cover")]

    def initAlgorithm(self, config=None):  # noqa: N802
        for name, description in self.INPUTS:
            self.addParameter(QgsProcessingParameterRasterLayer(name, description))
        self.addParameter(QgsProcessingParameterNumber("Z_FACTOR", "Z factor (recorded, not applied)",
                                                       QgsProcessingParameterNumber.Double, 1.0))
        self.addParameter(QgsProcessingParameterRasterDestination("OUTPUT", "Effort surface"))

    def problems(self, parameters, context):
        names = [name for name, _ in self.INPUTS]
        problems = self.raster_problems(parameters, names, context)
        if problems:
            return problems
        return self.errors(check_effort_surface(*(self.raster_path(parameters, name, context) for name in names)))

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        rasters = [self.raster_path(parameters, name, context) for name, _ in self.INPUTS]
        z_factor = self.parameterAsDouble(parameters, "Z_FACTOR", context)
        output = self.parameterAsOutputLayer(parameters, "OUTPUT", context)
        written = self.call_tool(feedback, effort_surface, *rasters, output, z_factor, log=True)
        return {"OUTPUT": written}


class PolyClip(PlenthAlgorithm):
    NAME = "polyclip"
    CAPTION = "Polygon Clip Tool"
    ICON = "polyclip"
    HELP = (
        "For every polygon, the number of raster cells of each class (distinct cell value) whose centre lies "
        "inside the polygon: a centre on an edge or in a hole does not count. One 32-bit integer column per "
        "class, named by the prefix and the value (gc3, gc-1), in the order the values are first met row by "
        "row from the top-left cell; an existing column of that name is overwritten.\n"
        "The raster must hold integer cells (8, 16 or 32 bits) and at most 39 classes: with a 40th distinct "
        "value the tool writes nothing. No-data cells are a class like any other. Polygons in another "
        "coordinate system than the raster's are counted where their numbers fall on the raster (the tool does "
        "not move them), with a warning.\n"
        "The prefix holds at most 5 characters (a shapefile column name holds at most 10). The output is a copy "
        "of the polygons with the class columns; the input is left as it is."
    )

    def initAlgorithm(self, config=None):  # noqa: N802
        self.addParameter(QgsProcessingParameterFeatureSource("POLYGONS", "Polygons",
                                                              [QgsProcessing.TypeVectorPolygon]))
        self.addParameter(QgsProcessingParameterRasterLayer("RASTER", "Raster of classes"))
        self.addParameter(QgsProcessingParameterString("PREFIX", "Column prefix (at most 5 characters)", "",
                                                       optional=True))
        self.addParameter(QgsProcessingParameterVectorDestination("OUTPUT", "Polygons with class counts",
                                                                  QgsProcessing.TypeVectorPolygon))

    def problems(self, parameters, context):
        problems = self.raster_problems(parameters, ["RASTER"], context)
        polygons = self.shapefile_of_layer(parameters, "POLYGONS", context)
        if not problems and polygons:
            problems += self.errors(check_class_counts(polygons, self.raster_path(parameters, "RASTER", context)))
        if len(self.parameterAsString(parameters, "PREFIX", context)) > 5:
            problems.append("the column prefix holds at most 5 characters")
        return problems

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        polygons = self.shapefile(parameters, "POLYGONS", context, feedback)
        raster = self.raster_path(parameters, "RASTER", context)
        prefix = self.parameterAsString(parameters, "PREFIX", context)
        output = self.parameterAsOutputLayer(parameters, "OUTPUT", context)
        return {"OUTPUT": self.call_tool(feedback, write_class_counts, polygons, raster, prefix, output)}


class GridSpot(PlenthAlgorithm):
    NAME = "gridspot"
    CAPTION = "Grid Spot Tool"
    ICON = "gridspot"
    HELP = (
        "The raster's value under each point, in a field: double for FLOAT and DOUBLE rasters, 32-bit integer "
        "for the others; an existing field of that name is reused.\n"
        "A point where the raster gives no value (off the raster, or a no-data cell) gets -99, which may also "
        "be a real cell value. Points in another coordinate system are projected into the raster's first; the "
        "raster needs a coordinate system.\n"
        "The field's name holds at most 5 characters. The output is a copy of the points with the field; the "
        "input is left as it is."
    )

    def initAlgorithm(self, config=None):  # noqa: N802
        self.addParameter(QgsProcessingParameterFeatureSource("POINTS", "Points", [QgsProcessing.TypeVectorPoint]))
        self.addParameter(QgsProcessingParameterRasterLayer("RASTER", "Raster"))
        self.addParameter(QgsProcessingParameterString("FIELD", "New field (at most 5 characters)"))
        self.addParameter(QgsProcessingParameterVectorDestination("OUTPUT", "Points with raster values",
                                                                  QgsProcessing.TypeVectorPoint))

    def problems(self, parameters, context):
        problems = self.raster_problems(parameters, ["RASTER"], context)
        points = self.shapefile_of_layer(parameters, "POINTS", context)
        if not problems and points:
            problems += self.errors(check_samples(points, self.raster_path(parameters, "RASTER", context)))
        field = self.parameterAsString(parameters, "FIELD", context)
        if not field or len(field) > 5:
            problems.append("the field's name holds 1 to 5 characters")
        return problems

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        points = self.shapefile(parameters, "POINTS", context, feedback)
        raster = self.raster_path(parameters, "RASTER", context)
        field = self.parameterAsString(parameters, "FIELD", context)
        output = self.parameterAsOutputLayer(parameters, "OUTPUT", context)
        return {"OUTPUT": self.call_tool(feedback, write_samples, points, raster, field, output)}


class LineOrientation(PlenthAlgorithm):
    NAME = "lineorientation"
    CAPTION = "Line Orientation Tool"
    ICON = "lineorientation"
    HELP = (
        "A new polyline shapefile with one feature per segment of the lines, in order, each with its line's "
        "attributes and a double field \"Azimuth\": the segment's orientation from 0 to 180 degrees clockwise "
        "from north, the same whichever way the segment runs (north-east 45, east 90, south-east 135), except "
        "along a meridian, where a segment running south gets 0 and one running north 180.\n"
        "An \"Azimuth\" field of the lines must hold real numbers; its values are replaced.\n"
        "An existing shapefile is never written over. The tool's own dialog keeps 7 characters of the output's "
        "name; here the path is used as given."
    )

    def initAlgorithm(self, config=None):  # noqa: N802
        self.addParameter(QgsProcessingParameterFeatureSource("LINES", "Lines", [QgsProcessing.TypeVectorLine]))
        self.addParameter(QgsProcessingParameterVectorDestination("OUTPUT", "Segments with their azimuth",
                                                                  QgsProcessing.TypeVectorLine))

    def problems(self, parameters, context):
        lines = self.shapefile_of_layer(parameters, "LINES", context)
        return self.errors(check_line_orientation(lines)) if lines else []

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        lines = self.shapefile(parameters, "LINES", context, feedback)
        output = self.parameterAsOutputLayer(parameters, "OUTPUT", context)
        return {"OUTPUT": self.call_tool(feedback, line_orientation, lines, output)}


class PointGrid(PlenthAlgorithm):
    NAME = "pointgrid"
    CAPTION = "Regular Point Grid Tool"
    ICON = "createpointgridtool"
    HELP = (
        "A new point shapefile over the extent, in the extent's coordinate system.\n"
        "With a spacing: a regular grid, columns from west to east and each from north to south, the west and "
        "north edges included and the east and south edges not. The coordinates are stepped by repeated "
        "addition, so a spacing a binary number cannot hold (0.1) may give one more column or row.\n"
        "With a count: that many random points, drawn by the tool's generator from the seed, or from the "
        "current second when no seed is given; the same seed gives the same points.\n"
        "Give a spacing or a count, not both. An existing shapefile is never written over."
    )

    def initAlgorithm(self, config=None):  # noqa: N802
        self.addParameter(QgsProcessingParameterExtent("EXTENT", "Extent"))
        self.addParameter(QgsProcessingParameterNumber("SPACING", "Distance between points (regular grid)",
                                                       QgsProcessingParameterNumber.Double, None, optional=True))
        self.addParameter(QgsProcessingParameterNumber("COUNT", "Number of random points",
                                                       QgsProcessingParameterNumber.Integer, None, optional=True,
                                                       minValue=0))
        self.addParameter(QgsProcessingParameterNumber("SEED", "Seed of the random points (default: the current "
                                                       "second)", QgsProcessingParameterNumber.Integer, None,
                                                       optional=True))
        self.addParameter(QgsProcessingParameterVectorDestination("OUTPUT", "Point grid",
                                                                  QgsProcessing.TypeVectorPoint))

    @staticmethod
    def given(parameters, name):
        return parameters.get(name) not in (None, "")

    def problems(self, parameters, context):
        problems = []
        if self.given(parameters, "SPACING") == self.given(parameters, "COUNT"):
            problems.append("give either a distance between points or a number of random points")
        elif self.given(parameters, "SPACING") and not self.parameterAsDouble(parameters, "SPACING", context) > 0:
            problems.append("the distance between points must be greater than 0")
        extent = self.parameterAsExtent(parameters, "EXTENT", context)
        if not (extent.width() > 0 and extent.height() > 0):
            problems.append("the extent must have a width and a height")
        return problems

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        extent = self.parameterAsExtent(parameters, "EXTENT", context)
        crs = self.parameterAsExtentCrs(parameters, "EXTENT", context)
        spacing = self.parameterAsDouble(parameters, "SPACING", context) if self.given(parameters, "SPACING") else None
        count = self.parameterAsInt(parameters, "COUNT", context) if self.given(parameters, "COUNT") else None
        seed = self.parameterAsInt(parameters, "SEED", context) if self.given(parameters, "SEED") else None
        output = self.parameterAsOutputLayer(parameters, "OUTPUT", context)
        written = self.call_tool(feedback, point_grid, output, extent.xMinimum(), extent.xMaximum(),
                                 extent.yMaximum(), extent.yMinimum(), spacing=spacing, count=count, seed=seed,
                                 crs=crs.toWkt(crs.WKT_PREFERRED_GDAL) if crs.isValid() else None)
        return {"OUTPUT": written}


ALGORITHMS = [ExportGrid, ImportGrid, EffortSurface, PolyClip, GridSpot, LineOrientation, PointGrid]
