#!/usr/bin/env bash
# plenth's polygon clip statistics, grid spot and line orientation beside the route a GIS
# user would take with GDAL's own tools, on vector data made here (bench/vectordata.py):
# the class counts on the ground-cover rasters and grid spot on the FLOAT DEMs of both
# kinds of data at every size; line orientation, which reads no raster, once.
set -euo pipefail
here=$(dirname "$(realpath "$0")")
. "$here/lib.sh"
bench_init "${1:-build}"
cd "$work"

# 2000 polygons (every fourth with a hole), 200000 points and 20000 polylines of 10
# segments, all in UTM zone 33N.
for what in polygons points lines; do /usr/bin/python3 "$here/vectordata.py" . "$what"; done
csv=(-oo AUTODETECT_TYPE=YES -oo KEEP_GEOM_COLUMNS=NO -a_srs EPSG:32633)
ogr2ogr "${csv[@]}" -oo GEOM_POSSIBLE_NAMES=WKT -nlt POLYGON polygons.shp polygons.csv
ogr2ogr "${csv[@]}" -oo X_POSSIBLE_NAMES=X -oo Y_POSSIBLE_NAMES=Y points.shp points.csv
ogr2ogr "${csv[@]}" -oo GEOM_POSSIBLE_NAMES=WKT -nlt LINESTRING lines.shp lines.csv
# The tools add their columns to these tables: each run starts from the table as made.
cp polygons.dbf polygons.dbf.made
cp points.dbf points.dbf.made

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
cat > rasterize.sh <<'SH'
# side classes: the peer's whole route
cell=$(echo "10000 / $1" | bc -l)
gdal_rasterize -q -a ID -ot Int32 -init 0 -te 500000 4090000 510000 4100000 -tr "$cell" "$cell" polygons.shp ids.tif
/usr/bin/python3 count.py ids.tif "$2" > peer_cells.txt
SH

for side in $bench_sizes; do
  # The cells the tool tests: those of every polygon's envelope, its ends truncated toward
  # zero from the top-left cell centre and clamped to the raster.
  tested=$(/usr/bin/python3 - "$side" <<'PY'
import sys
from osgeo import ogr
size = int(sys.argv[1])
cell = 10000 / size
left, top = 500000 + cell / 2, 4100000 - cell / 2
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
  for kind in $bench_kinds; do
    prefix=$(bench_rasters "$kind" "$side")
    compare "class-counts-$kind-$side" "<1" "class counts $kind $side" \
      "$plenth poly-clip polygons.shp $prefix-groundcover.tif --prefix c" \
      "sh rasterize.sh $side $prefix-groundcover.tif" \
      "cp polygons.dbf.made polygons.dbf" "rm -f ids.tif"
    counted=$(/usr/bin/python3 -c '
from osgeo import ogr
polygons = ogr.Open("polygons.shp")
layer = polygons.GetLayer(0)
names = [d.GetName() for d in layer.schema if d.GetName().startswith("c")]
print(sum(f.GetField(n) for f in layer for n in names))')
    printf '  %d cells tested, %.1f million a second; cells counted: plenth %d, rasterize %d\n' "$tested" \
      "$(echo "$tested / $(/usr/bin/python3 "$here/report.py" median "$bench_out" "class-counts-$kind-$side") / 1000000" | bc -l)" \
      "$counted" "$(cat peer_cells.txt)"

    compare "grid-spot-$kind-$side" "<=2" "grid spot $kind $side" \
      "$plenth grid-spot points.shp $prefix-dem.tif --field v" \
      "sh -c 'gdallocationinfo -valonly -geoloc $prefix-dem.tif < points.txt'" \
      "cp points.dbf.made points.dbf" "true"
  done
done

cat > segments.sh <<'SH'
# The peer of line orientation: each line's segments, then each segment's azimuth.
ogr2ogr segs1.shp lines.shp -dialect SQLite -nln segs1 -explodecollections \
  -sql "SELECT DissolveSegments(geometry) AS geometry, ID, NAME FROM lines"
ogr2ogr segs2.shp segs1.shp -dialect SQLite -nln segs2 \
  -sql "SELECT geometry, ID, NAME, Degrees(Azimuth(StartPoint(geometry), EndPoint(geometry))) AS Azimuth FROM segs1"
SH
compare line-orientation "<=0.3" "line orientation" \
  "$plenth line-orientation lines.shp segsout" "sh segments.sh" \
  "sh -c 'rm -f segsout.*'" "sh -c 'rm -f segs1.* segs2.*'"
[ "$(ogrinfo -so segsout.shp segsout | grep -c 'Feature Count: 200000')" = 1 ] || echo "line orientation: not 200000 segments"
