"""The PlenthTools plugin for QGIS: the seven tools as Processing algorithms.

QGIS imports a plugin under the name of its folder, plenthtools, which is also the name of
the Python package the algorithms run. This folder therefore takes the package in: it finds
the package's folder (in a build tree beside this one, under the prefix this plugin is
installed in, or on Python's path), runs the package's own __init__ here, and looks for
submodules in the package's folder first and in this one after it. Under QGIS,
``import plenthtools`` thus gives the package itself with the plugin's ``classFactory``.
"""

import glob
import os
import sys

_PLUGIN_FOLDER = os.path.dirname(os.path.abspath(__file__))


def _is_package(folder):
    return (os.path.realpath(folder) != os.path.realpath(_PLUGIN_FOLDER)
            and os.path.isfile(os.path.join(folder, "__init__.py"))
            and bool(glob.glob(os.path.join(folder, "_native*.so"))))


def _package_folder():
    """The folder of the plenthtools package, or None."""
    up = os.path.dirname
    plugins = up(_PLUGIN_FOLDER)
    # A build tree: build/qgis/plenthtools beside build/python/plenthtools.
    candidates = [os.path.join(up(plugins), "python", "plenthtools")]
    # An install: PREFIX/share/qgis/python/plugins/plenthtools beside PREFIX/lib.
    prefix = up(up(up(up(plugins))))
    version = f"python{sys.version_info[0]}.{sys.version_info[1]}"
    candidates += [os.path.join(prefix, "lib", python, "dist-packages", "plenthtools")
                   for python in ("python3", version)]
    # The system's Python.
    candidates += [os.path.join(entry or os.curdir, "plenthtools") for entry in sys.path
                   if os.path.realpath(entry or os.curdir) != os.path.realpath(plugins)]
    return next((os.path.realpath(c) for c in candidates if _is_package(c)), None)


_package = _package_folder()
if _package is None:
    raise ImportError("The PlenthTools plugin needs the plenthtools Python package (installed with PlenthTools), "
                      "which was not found beside the plugin or on Python's path")
__path__.insert(0, _package)
_package_init = os.path.join(_package, "__init__.py")
with open(_package_init, "rb") as _source:
    exec(compile(_source.read(), _package_init, "exec"))  # noqa: S102 - the package's own code, found above
del _source


def classFactory(iface):  # noqa: N802 - the name QGIS calls
    """The plugin object QGIS starts, for the desktop and for qgis_process."""
    from .plugin import PlenthToolsPlugin

    return PlenthToolsPlugin(iface)
