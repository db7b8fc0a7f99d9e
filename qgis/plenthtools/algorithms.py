"""The seven tools as Processing algorithms.

Each algorithm hands its inputs to the plenthtools function of its tool, in this process:
vector inputs as shapefiles (the layer's own file, or a copy Processing makes of a
GeoPackage table, a memory layer or a selection), rasters as the files GDAL opens. The
function's progress goes to the feedback, whose cancel stops it (it then leaves nothing
behind), its log lines go to the log, and its failures come back in the tools' words.
Before a run, checkParameterValues refuses what the run would refuse or could not do
right, so that the dialog says it at once; what only makes a result questionable is
reported as a warning when the run starts.
"""

import os

from qgis.core import (
    Qgis,
    QgsProcessing,
    QgsProcessingAlgorithm,
    QgsProcessingException,
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
)
from qgis.PyQt.QtCore import QVariant
from qgis.PyQt.QtGui import QIcon

from . import (
    Cancelled,
    Error,
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


# The cell types classes can be counted in: integers of 8, 16 or 32 bits.
_CLASS_CELLS = {Qgis.Byte, Qgis.UInt16, Qgis.Int16, Qgis.UInt32, Qgis.Int32}
_CELL_NAMES = {
    Qgis.Byte: "Byte", Qgis.UInt16: "UInt16", Qgis.Int16: "Int16", Qgis.UInt32: "UInt32", Qgis.Int32: "Int32",
    Qgis.Float32: "Float32", Qgis.Float64: "Float64", Qgis.CInt16: "CInt16", Qgis.CInt32: "CInt32",
    Qgis.CFloat32: "CFloat32", Qgis.CFloat64: "CFloat64",
}


def _system(crs):
    return crs.userFriendlyIdentifier() if crs.isValid() else "no coordinate system"


def _grid_difference(dem, other):
    """How a raster's grid differs from the DEM's, as (size, placement): each a text or ""."""
    size = ""
    if (other.width(), other.height()) != (dem.width(), dem.height()):
        size = f"size {other.width()} x {other.height()} against {dem.width()} x {dem.height()}"
    cell_x, cell_y = dem.rasterUnitsPerPixelX(), dem.rasterUnitsPerPixelY()

    def near(a, b, cell):
        return abs(a - b) <= 1e-6 * abs(cell)

    placement = []
    d, o = dem.extent(), other.extent()
    if not near(o.xMinimum(), d.xMinimum(), cell_x) or not near(o.yMaximum(), d.yMaximum(), cell_y):
        placement.append(f"origin {o.xMinimum():.12g}, {o.yMaximum():.12g} against "
                         f"{d.xMinimum():.12g}, {d.yMaximum():.12g}")
    if not near(other.rasterUnitsPerPixelX(), cell_x, cell_x) or not near(other.rasterUnitsPerPixelY(), cell_y, cell_y):
        placement.append(f"cells of {other.rasterUnitsPerPixelX():.12g} x {other.rasterUnitsPerPixelY():.12g} "
                         f"against {cell_x:.12g} x {cell_y:.12g}")
    return size, "; ".join(placement)


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

    def warnings(self, parameters, context):
        """What makes the result questionable without stopping the run."""
        return []

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

    def prepareAlgorithm(self, parameters, context, feedback):  # noqa: N802
        for warning in self.warnings(parameters, context):
            feedback.pushWarning(f"Warning: {warning}")
        return True

    @staticmethod
    def call_tool(feedback, function, *args, log=False, **kwargs):
        """The package's function on the arguments, with the feedback's progress, cancel and
        log; its failures as QgsProcessingException."""

        def progress(fraction):
            feedback.setProgress(100.0 * fraction)
            return not feedback.isCanceled()

        if log:
            kwargs["log"] = feedback.pushInfo
        try:
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
    CLASS_RASTERS = [("TRAILS", "trails"), ("STREAMS", "streams"), ("COVER", "ground cover")]

    def initAlgorithm(self, config=None):  # noqa: N802
        for name, description in self.INPUTS:
            self.addParameter(QgsProcessingParameterRasterLayer(name, description))
        self.addParameter(QgsProcessingParameterNumber("Z_FACTOR", "Z factor (recorded, not applied)",
                                                       QgsProcessingParameterNumber.Double, 1.0))
        self.addParameter(QgsProcessingParameterRasterDestination("OUTPUT", "Effort surface"))

    def problems(self, parameters, context):
        problems = self.raster_problems(parameters, [name for name, _ in self.INPUTS], context)
        dem = self.parameterAsRasterLayer(parameters, "DEM", context)
        for name, what in self.CLASS_RASTERS:
            other = self.parameterAsRasterLayer(parameters, name, context)
            size = _grid_difference(dem, other)[0] if dem and other else ""
            if size:
                problems.append(f"the {what} raster's grid differs from the DEM's ({size}): the run refuses a "
                                "class raster whose columns or rows differ from the DEM's")
        return problems

    def warnings(self, parameters, context):
        dem = self.raster_layer(parameters, "DEM", context)
        warnings = []
        if not dem.crs().isValid():
            warnings.append("the DEM has no coordinate system: its cell size is taken to be in the unit of its "
                            "elevations")
        elif dem.crs().isGeographic():
            warnings.append("the DEM is in geographic coordinates: its slopes would set metres of height against "
                            "degrees, so the costs are meaningless; project it first (Warp (reproject))")
        for name, what in self.CLASS_RASTERS:
            placement = _grid_difference(dem, self.raster_layer(parameters, name, context))[1]
            if placement:
                warnings.append(f"the {what} raster's grid differs from the DEM's ({placement}): its cells are "
                                "paired with the DEM's by row and column, not by position")
        return warnings

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
        "value the tool writes nothing. No-data cells are a class like any other. The polygons must be in the "
        "raster's coordinate system (the tool does not move them).\n"
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
        raster = self.parameterAsRasterLayer(parameters, "RASTER", context)
        polygons = self.parameterAsSource(parameters, "POLYGONS", context)
        if raster is not None:
            cells = raster.dataProvider().dataType(1)
            if cells not in _CLASS_CELLS:
                problems.append(f"{raster.name()} holds cells of type {_CELL_NAMES.get(cells, 'unknown')}; classes "
                                "need an integer raster (8, 16 or 32 bits)")
            if polygons is not None and polygons.sourceCrs() != raster.crs():
                problems.append(f"{polygons.sourceName()} is in {_system(polygons.sourceCrs())} but {raster.name()} "
                                f"is in {_system(raster.crs())}: the tool takes the polygons' coordinates as the "
                                "raster's without moving them (reproject the polygons first)")
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
        raster = self.parameterAsRasterLayer(parameters, "RASTER", context)
        if raster is not None and not raster.crs().isValid():
            problems.append(f"{raster.name()} has no coordinate system; the tool needs one to place the points")
        field = self.parameterAsString(parameters, "FIELD", context)
        if not field or len(field) > 5:
            problems.append("the field's name holds 1 to 5 characters")
        return problems

    def warnings(self, parameters, context):
        points = self.parameterAsSource(parameters, "POINTS", context)
        if points is not None and not points.sourceCrs().isValid():
            return [f"{points.sourceName()} has no coordinate system; the points are taken to be in the raster's"]
        return []

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
        problems = []
        lines = self.parameterAsSource(parameters, "LINES", context)
        if lines is not None:
            at = lines.fields().lookupField("Azimuth")
            if at >= 0 and lines.fields().at(at).type() != QVariant.Double:
                problems.append(f"{lines.sourceName()} has a field Azimuth that does not hold real numbers; the "
                                "tool cannot replace it")
        return problems

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
