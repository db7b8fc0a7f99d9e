#!/usr/bin/env bash
# Times plenth's polygon clip statistics, grid spot and line orientation beside the route a
# GIS user would take with GDAL's own tools, on data made here (bench/vectordata.py), and
# prints the ratios from one run.
set -euo pipefail
build=${1:-build}
plenth=$(realpath "$build/bin/plenth")
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d /tmp/plenth-vector.XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/xdg"
cd "$work"

# A 4000 x 4000 byte raster of 12 classes, 2000 polygons (every fourth with a hole),
# 200000 points and 20000 polylines of 10 segments, all in UTM zone 33N.
for what in raster polygons points lines; do /usr/bin/python3 "$here/vectordata.py" . "$what"; done
gdal_translate -q classes.raw classes.tif
csv=(-oo AUTODETECT_TYPE=YES -oo KEEP_GEOM_COLUMNS=NO -a_srs EPSG:32633)
ogr2ogr "${csv[@]}" -oo GEOM_POSSIBLE_NAMES=WKT -nlt POLYGON polygons.shp polygons.csv
ogr2ogr "${csv[@]}" -oo X_POSSIBLE_NAMES=X -oo Y_POSSIBLE_NAMES=Y points.shp points.csv
ogr2ogr "${csv[@]}" -oo GEOM_POSSIBLE_NAMES=WKT -nlt LINESTRING lines.shp lines.csv

. "$here/lib.sh"

# The peer of the class counts: burn each polygon's ID into a raster of the same cells
# (a cell takes the polygon its centre lies in), then count (ID, class) pairs with numpy.
cat > count.py <<'PY'
import sys
import numpy as np
from osgeo import gdal
ids = gdal.Open(sys.argv[1]).ReadAsArray().ravel().astype(np.int64)
classes = gdal.Open(sys.argv[2]).ReadAsArray().ravel()
inside = ids > 0
pairs = np.bincount(ids[inside] * 256 + classes[inside])
print(int(pairs.sum()))
PY
rasterize() {
  gdal_rasterize -q -a ID -ot Int32 -init 0 -te 500000 4090000 510000 4100000 -tr 2.5 2.5 polygons.shp ids.tif
  /usr/bin/python3 count.py ids.tif classes.tif > peer_cells.txt
}
# The cells the tool tests: those of every polygon's envelope, its ends truncated toward
# zero from the top-left cell centre and clamped to the raster.
tested=$(/usr/bin/python3 - <<'PY'
from osgeo import ogr
size, cell, left, top = 4000, 2.5, 500000 + 1.25, 4100000 - 1.25
total = 0
polygons = ogr.Open("polygons.shp")  # the layer lives as long as its dataset
for f in polygons.GetLayer(0):
    x0, x1, y0, y1 = f.GetGeometryRef().GetEnvelope()
    r0 = max(0, min(int((top - y1) / cell), size)); r1 = min(int((top - y0) / cell), size - 1)
    c0 = max(0, min(int((x0 - left) / cell), size)); c1 = min(int((x1 - left) / cell), size - 1)
    total += max(0, r1 - r0 + 1) * max(0, c1 - c0 + 1)
print(total)
PY
)

c_plenth=$(seconds "$plenth" poly-clip polygons.shp classes.tif --prefix c)
c_peer=$(seconds rasterize)
counted=$(/usr/bin/python3 -c '
from osgeo import ogr
polygons = ogr.Open("polygons.shp")
layer = polygons.GetLayer(0)
names = [d.GetName() for d in layer.schema if d.GetName().startswith("c")]
print(sum(f.GetField(n) for f in layer for n in names))')

g_plenth=$(seconds "$plenth" grid-spot points.shp classes.tif --field v)
g_peer=$(seconds sh -c 'gdallocationinfo -valonly -geoloc classes.tif < points.txt')

segments() {
  ogr2ogr segs1.shp lines.shp -dialect SQLite -nln segs1 -explodecollections \
    -sql "SELECT DissolveSegments(geometry) AS geometry, ID, NAME FROM lines"
  ogr2ogr segs2.shp segs1.shp -dialect SQLite -nln segs2 \
    -sql "SELECT geometry, ID, NAME, Degrees(Azimuth(StartPoint(geometry), EndPoint(geometry))) AS Azimuth FROM segs1"
}
l_plenth=$(seconds "$plenth" line-orientation lines.shp segsout)
l_peer=$(seconds segments)
[ "$(ogrinfo -so segsout.shp segsout | grep -c 'Feature Count: 200000')" = 1 ] || echo "line orientation: not 200000 segments"

printf '%-18s %9s %9s %7s %s\n' tool plenth peer ratio goal
row() { printf '%-18s %8.2fs %8.2fs %7.2f %s\n' "$1" "$2" "$3" "$(echo "$2 / $3" | bc -l)" "$4"; }
row "class counts" "$c_plenth" "$c_peer" "below 1 (rasterize + numpy)"
row "grid spot" "$g_plenth" "$g_peer" "at most 2 (gdallocationinfo)"
row "line orientation" "$l_plenth" "$l_peer" "at most 0.3 (two ogr2ogr runs)"
echo "(ratio = plenth time / peer time; each plenth time is the whole command, start-up and report included)"
printf 'class counts: %d cells tested, %.1f million per second; cells counted: plenth %d, rasterize %d\n' \
  "$tested" "$(echo "$tested / $c_plenth / 1000000" | bc -l)" "$counted" "$(cat peer_cells.txt)"
