#!/usr/bin/env bash
# plenth's point grid beside ogr2ogr writing the same points from a CSV file into a
# shapefile: a regular grid and a random collection of 1,000,000 points each, and 100,000
# of each to show that the time grows linearly with the count. It reads no raster: one
# kind of data. The CSV files are made before any clock starts.
set -euo pipefail
. "$(dirname "$(realpath "$0")")/lib.sh"
bench_init "${1:-build}"
cd "$work"

# The points plenth writes, as x,y rows: columns west to east, each north to south; the
# random ones with the C library's generator seeded with 1, x drawn before y.
regular_csv() {  # columns rows
  awk -v c="$1" -v r="$2" 'BEGIN { print "x,y"; for (i = 0; i < c; i++) for (j = 0; j < r; j++) printf "%d,%d\n", i, r - j }'
}
random_csv() {  # count; over 0..1000 x 0..1000
  awk -v n="$1" 'BEGIN { print "x,y"; s = 1; m = 4294967296
    for (i = 0; i < n; i++) {
      s = (s * 214013 + 2531011) % m; rx = int(s / 65536) % 32768
      s = (s * 214013 + 2531011) % m; ry = int(s / 65536) % 32768
      printf "%.17g,%.17g\n", 1000 * rx / 32767, 1000 * ry / 32767 } }'
}
regular_csv 1000 1000 > regular_1000000.csv
regular_csv 100 1000 > regular_100000.csv
random_csv 1000000 > random_1000000.csv
random_csv 100000 > random_100000.csv

for kind in regular random; do
  for count in 100000 1000000; do
    if [ "$kind" = regular ]; then
      east=1000
      [ "$count" = 100000 ] && east=100
      ours="$plenth point-grid p_${kind}_$count --west 0 --east $east --north 1000 --south 0 --spacing 1"
    else
      ours="$plenth point-grid p_${kind}_$count --west 0 --east 1000 --north 1000 --south 0 --random $count --seed 1"
    fi
    # The same shapefile: the points and one integer column.
    compare "point-grid-$kind-$count" "<=0.5" "point grid $kind $count" "$ours" \
      "ogr2ogr -f 'ESRI Shapefile' o_${kind}_$count.shp ${kind}_$count.csv -oo X_POSSIBLE_NAMES=x -oo Y_POSSIBLE_NAMES=y -sql 'SELECT FID AS Id FROM ${kind}_$count'" \
      "sh -c 'rm -f p_${kind}_$count.*'" "sh -c 'rm -f o_${kind}_$count.*'"
  done
  small=$(/usr/bin/python3 "$bench_here/report.py" median "$bench_out" "point-grid-$kind-100000")
  large=$(/usr/bin/python3 "$bench_here/report.py" median "$bench_out" "point-grid-$kind-1000000")
  printf '  %s: 1,000,000 points take %.1f times as long as 100,000\n' "$kind" "$(echo "$large / $small" | bc -l)"
done
