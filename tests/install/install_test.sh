#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed plenth from there:
# the programs, the libraries and the module find each other by their own places.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > "$prefix/install.log"
plenth="$prefix/bin/plenth"
test -x "$plenth"
test -x "$prefix/bin/plenth-map"
test -f "$prefix/lib/plenthtools/libPlenthTools.so"
# The installed README's pictures are where it shows them from.
for picture in $(grep -o 'docs/[A-Za-z-]*\.png' "$prefix/share/doc/plenthtools/README.md" | sort -u); do
  test -f "$prefix/share/doc/plenthtools/$picture" || { echo "the installed README misses $picture"; exit 1; }
done
# Every library the programs load comes from the prefix, none from the build tree.
for program in "$plenth" "$prefix/bin/plenth-map"; do
  if ldd "$program" | grep -q "$build"; then
    echo "$program loads from the build tree:"; ldd "$program"; exit 1
  fi
  if ldd "$program" | grep -q "not found"; then
    echo "$program misses a library:"; ldd "$program"; exit 1
  fi
done
cd "$prefix"
"$plenth" --registry "$prefix/registry.reg" tools > tools.txt
grep -q "PlenthTools_ExportGrid" tools.txt
grep -q "$prefix/lib/plenthtools/libPlenthTools.so" "$prefix/registry.reg"
"$plenth" --registry "$prefix/registry.reg" demo "$prefix/demo" > demo.txt
grep -q "wrote $prefix/demo/dem.dat" demo.txt
test -f "$prefix/demo/dem_imported.tif"
# The installed map application starts on the demo's map document, plugs the installed
# module in and keeps running until it is ended.
status=0
XDG_DATA_HOME="$prefix/xdg" QT_QPA_PLATFORM=offscreen timeout 5 "$prefix/bin/plenth-map" "$prefix/demo/map.json" \
  2> map.txt || status=$?
if [ "$status" -ne 124 ] || grep -q "plenth-map:" map.txt; then
  echo "plenth-map ended with $status:"; cat map.txt; exit 1
fi
grep -q "$prefix/lib/plenthtools/libPlenthTools.so" "$prefix/xdg/plenth/registry.reg"

# The Python package (of a plain build: an instrumented one makes none), beside the
# libraries it loads, under a prefix like /usr/local and under /usr as the .deb lays it
# out; run from there it writes what plenth wrote.
if [ -z "$(ls "$build"/python/plenthtools/_native*.so 2>/dev/null)" ]; then
  echo "installed into $prefix and ran plenth tools, plenth demo and plenth-map from there (no Python package built)"
  exit 0
fi
python=/usr/bin/python3
version=$("$python" -c 'import sys; print(f"{sys.version_info[0]}.{sys.version_info[1]}")')
staged="$prefix/staged"
DESTDIR="$staged" cmake --install "$build" --prefix /usr > "$prefix/install-usr.log"
for site in "$prefix/lib/python$version/dist-packages" "$staged/usr/lib/python3/dist-packages"; do
  native=$(ls "$site"/plenthtools/_native*.so)
  if ldd "$native" | grep -q -e "$build" -e "not found"; then
    echo "$native does not load from its own prefix:"; ldd "$native"; exit 1
  fi
  PYTHONPATH="$site" "$python" -c '
import sys, plenthtools
assert plenthtools.__file__.startswith(sys.argv[1]), plenthtools.__file__
plenthtools.export_grid(sys.argv[2] + "/dem.tif", sys.argv[3])
' "$site" "$prefix/demo" "$prefix/python-dem"
  cmp "$prefix/python-dem.dat" "$prefix/demo/dem.dat"
  rm "$prefix/python-dem.dat"
  # The QGIS plugin under the same prefix takes in that package (not the build tree's),
  # as QGIS imports it: by its folder's name, from the plugin folder.
  plugins="${site%/lib/*}/share/qgis/python/plugins"
  grep -q "^version=[0-9]" "$plugins/plenthtools/metadata.txt"
  test -f "$plugins/plenthtools/icons/effortsurface.png"
  env -u PYTHONPATH "$python" -c '
import os, sys
sys.path.insert(0, sys.argv[1])
import plenthtools
assert os.path.dirname(plenthtools.__file__) == os.path.join(sys.argv[1], "plenthtools"), plenthtools.__file__
assert plenthtools._native.__file__.startswith(sys.argv[2]), plenthtools._native.__file__
assert callable(plenthtools.classFactory) and callable(plenthtools.effort_surface)
from plenthtools.provider import PlenthToolsProvider
' "$plugins" "$site"
done
echo "installed into $prefix and ran plenth tools, plenth demo, plenth-map, the Python package and the QGIS plugin from there"
