"""The PlenthTools Processing provider: the seven tools, writing GeoTIFFs and shapefiles."""

from qgis.core import QgsProcessingProvider

from . import __version__
from .algorithms import ALGORITHMS, icon


class PlenthToolsProvider(QgsProcessingProvider):
    def id(self):
        return "plenthtools"

    def name(self):
        return "PlenthTools"

    def longName(self):  # noqa: N802 - the names Processing calls
        return f"PlenthTools {__version__}"

    def versionInfo(self):  # noqa: N802
        return __version__

    def icon(self):
        return icon("effortsurface")

    def loadAlgorithms(self):  # noqa: N802
        for algorithm in ALGORITHMS:
            self.addAlgorithm(algorithm())

    # The tools write GeoTIFF rasters and shapefiles, and only files.
    def supportedOutputRasterLayerExtensions(self):  # noqa: N802
        return ["tif"]

    def defaultRasterFileExtension(self):  # noqa: N802
        return "tif"

    def supportedOutputVectorLayerExtensions(self):  # noqa: N802
        return ["shp"]

    def defaultVectorFileExtension(self, hasGeometry=True):  # noqa: N802, N803
        return "shp"

    def supportsNonFileBasedOutput(self):  # noqa: N802
        return False
