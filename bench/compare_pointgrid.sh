#!/usr/bin/env bash
# Times whole runs of plenth's point grid beside ogr2ogr writing the same points from a CSV
# file into a shapefile: a regular grid and a random collection of 1,000,000 points each,
# and 100,000 of each to show that the time grows linearly with the count. The CSV files
# are made before any clock starts; the ratios come from one run.
set -euo pipefail
build=${1:-build}
plenth="$build/bin/plenth"
work=$(mktemp -d /tmp/plenth-pointgrid.XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/xdg"
"$plenth" tools > /dev/null  # registers the module before any clock starts

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
regular_csv 1000 1000 > "$work/regular_1000000.csv"
regular_csv 100 1000 > "$work/regular_100000.csv"
random_csv 1000000 > "$work/random_1000000.csv"
random_csv 100000 > "$work/random_100000.csv"

. "$(dirname "$(realpath "$0")")/lib.sh"

plenth_run() {  # kind count out
  local kind=$1 count=$2 east=1000
  if [ "$kind" = regular ]; then
    [ "$count" = 100000 ] && east=100
    "$plenth" point-grid "$3" --west 0 --east "$east" --north 1000 --south 0 --spacing 1
  else
    "$plenth" point-grid "$3" --west 0 --east 1000 --north 1000 --south 0 --random "$count" --seed 1
  fi
}

printf '%-8s %9s %10s %10s %8s\n' kind points plenth ogr2ogr ratio
declare -A took
for kind in regular random; do
  for count in 100000 1000000; do
    csv="$work/${kind}_$count.csv"
    p=$(seconds plenth_run "$kind" "$count" "$work/p_${kind}_$count")
    # The same shapefile: the points and one integer column.
    o=$(seconds ogr2ogr -f "ESRI Shapefile" "$work/o_${kind}_$count.shp" "$csv" \
          -oo X_POSSIBLE_NAMES=x -oo Y_POSSIBLE_NAMES=y -sql "SELECT FID AS Id FROM ${kind}_$count")
    took[$kind$count]=$p
    printf '%-8s %9d %9.2fs %9.2fs %8.2f\n' "$kind" "$count" "$p" "$o" "$(echo "$p / $o" | bc -l)"
  done
done
for kind in regular random; do
  printf '%s: 1,000,000 points take %.1f times as long as 100,000\n' "$kind" \
    "$(echo "${took[${kind}1000000]} / ${took[${kind}100000]}" | bc -l)"
done
echo "(ratio = plenth time / ogr2ogr time; goal: at most 0.5)"
