#!/usr/bin/env bash
# Times whole runs of plenth's grid export and import beside the standard GDAL tools on
# the same 4000 x 4000 FLOAT and SHORT rasters, and prints the ratios from one run.
set -euo pipefail
build=${1:-build}
plenth="$build/bin/plenth"
work=$(mktemp -d /tmp/plenth-compare.XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/xdg"

"$plenth" sample-data "$work/sample" > /dev/null
ullr=(-a_ullr 500000 4107200 509000 4098200)  # square cells of 2.25 m
gdal_translate -q -outsize 4000 4000 "${ullr[@]}" -r bilinear -ot Float32 "$work/sample/dem.tif" "$work/float.tif"
gdal_translate -q -outsize 4000 4000 "${ullr[@]}" -r bilinear -ot Int16 "$work/sample/dem.tif" "$work/short.tif"

. "$(dirname "$(realpath "$0")")/lib.sh"

printf '%-8s %-7s %10s %10s %8s\n' type step plenth gdal ratio
for type in float short; do
  mkdir -p "$work/$type-out"
  e_plenth=$(seconds "$plenth" export-grid "$work/$type.tif" "$work/$type-out/grid")
  e_gdal=$(seconds gdal_translate -q -of AAIGrid "$work/$type.tif" "$work/$type-out/grid.asc")
  i_plenth=$(seconds "$plenth" import-grid "$work/$type-out/grid.dat" "$work/$type-out/back")
  i_gdal=$(seconds gdal_translate -q "$work/$type-out/grid.asc" "$work/$type-out/back_gdal.tif")
  printf '%-8s %-7s %9.2fs %9.2fs %8.2f\n' "$type" export "$e_plenth" "$e_gdal" "$(echo "$e_plenth / $e_gdal" | bc -l)"
  printf '%-8s %-7s %9.2fs %9.2fs %8.2f\n' "$type" import "$i_plenth" "$i_gdal" "$(echo "$i_plenth / $i_gdal" | bc -l)"
done
echo "(ratio = plenth time / GDAL time; below 1 is faster than GDAL)"
