"""Inside the clean root of make deb-check: QGIS's Processing, as QGIS starts it, finds the
installed plugin's provider with its seven algorithms, and one of them runs on the demo's
files."""
import os
import sys

from qgis.core import QgsApplication

sys.path.insert(0, "/usr/share/qgis/python/plugins")  # the installed plugins first, as QGIS puts them, and Processing
app = QgsApplication([], False)
app.initQgis()
from processing.core.Processing import Processing  # noqa: E402
import processing  # noqa: E402

Processing.initialize()
import plenthtools  # noqa: E402  (the installed plugin, which takes the package in)

plugin = plenthtools.classFactory(None)
plugin.initProcessing()
provider = QgsApplication.processingRegistry().providerById("plenthtools")
ids = sorted(a.id() for a in provider.algorithms())
print(provider.name() + ":", " ".join(ids))
assert len(ids) == 7, ids
demo = os.path.abspath("demo-out")
result = processing.run("plenthtools:lineorientation",
                        {"LINES": f"{demo}/roads.shp", "OUTPUT": "/tmp/work/qgis-segments.shp"})
print("plenthtools:lineorientation wrote", result["OUTPUT"])
plugin.unload()
app.exitQgis()
