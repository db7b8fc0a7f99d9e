"""The plugin object: it adds the PlenthTools provider to Processing and takes it away."""

from qgis.core import QgsApplication

from .provider import PlenthToolsProvider


class PlenthToolsPlugin:
    def __init__(self, iface):
        self.iface = iface
        self.provider = None

    def initProcessing(self):  # noqa: N802 - the names QGIS calls
        """Called by qgis_process, and by initGui in the desktop."""
        if self.provider is None:
            self.provider = PlenthToolsProvider()
            QgsApplication.processingRegistry().addProvider(self.provider)

    def initGui(self):  # noqa: N802
        self.initProcessing()

    def unload(self):
        if self.provider is not None:
            QgsApplication.processingRegistry().removeProvider(self.provider)
            self.provider = None
