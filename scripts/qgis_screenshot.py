#!/usr/bin/python3
"""Draws the effort surface's Processing dialog, as QGIS shows it from the toolbox, filled
in with the sample data's rasters: docs/qgis-effortsurface.png.

Usage: QT_QPA_PLATFORM=offscreen scripts/qgis_screenshot.py BUILD DOCS
Run by `make screenshots`; QGIS starts with a home folder of its own, so that the
machine's QGIS settings (theme, fonts, recent layers) do not show.
"""

import os
import subprocess
import sys
import tempfile


def main(build, docs):
    work = tempfile.TemporaryDirectory(prefix="plenth-qgis-screenshot-")
    home = os.path.join(work.name, "home")
    os.makedirs(os.path.join(home, "runtime"), mode=0o700)
    os.environ.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                      XDG_DATA_HOME=os.path.join(home, ".local", "share"), XDG_CACHE_HOME=os.path.join(home, ".cache"),
                      XDG_RUNTIME_DIR=os.path.join(home, "runtime"))
    sample = os.path.join(work.name, "sample")
    subprocess.run([os.path.join(build, "bin", "plenth"), "--registry", os.path.join(work.name, "registry.reg"),
                    "sample-data", sample], check=True, stdout=subprocess.DEVNULL)

    from qgis.core import QgsApplication, QgsProject, QgsRasterLayer
    from qgis.PyQt.QtCore import QSize
    from qgis.PyQt.QtWidgets import QSplitter

    app = QgsApplication([], True)
    app.initQgis()
    sys.path.insert(0, os.path.join(build, "qgis"))
    sys.path.append("/usr/share/qgis/python/plugins")  # Processing itself
    from processing.core.Processing import Processing
    from processing.gui.AlgorithmDialog import AlgorithmDialog

    Processing.initialize()
    import plenthtools

    plugin = plenthtools.classFactory(None)
    plugin.initProcessing()

    layers = {}
    for name in ("dem", "trails", "streams", "groundcover"):
        layer = QgsRasterLayer(os.path.join(sample, name + ".tif"), name)
        QgsProject.instance().addMapLayer(layer)
        layers[name] = layer
    algorithm = QgsApplication.processingRegistry().createAlgorithmById("plenthtools:effortsurface")
    dialog = AlgorithmDialog(algorithm)
    dialog.setParameters({"DEM": layers["dem"], "TRAILS": layers["trails"], "ROADS": layers["trails"],
                          "STREAMS": layers["streams"], "COVER": layers["groundcover"], "Z_FACTOR": 1.0,
                          "OUTPUT": "/home/gislab/effort/effort_surface.tif"})
    dialog.resize(QSize(1180, 700))
    dialog.show()
    # The help beside the parameters as wide as they are, to be read in the picture.
    splitter = dialog.findChild(QSplitter)
    if splitter is not None:
        splitter.setSizes([640, 540])
    for _ in range(5):
        app.processEvents()
    os.makedirs(docs, exist_ok=True)
    target = os.path.join(docs, "qgis-effortsurface.png")
    if not dialog.grab().save(target):
        sys.exit(f"cannot write {target}")
    print(f"wrote {target}")
    dialog.close()
    plugin.unload()
    work.cleanup()


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(*sys.argv[1:])
