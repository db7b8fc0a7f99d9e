#!/usr/bin/env bash
# What a start of plenth costs beside a start of GDAL's own tools, which load the same
# libraries: `plenth tools` (the module loaded through the registry, nothing read) beside
# `gdalinfo --version`, and the export of the sample DEM (300 x 240 cells, where the
# start is nearly all of the run) beside gdal_translate -of AAIGrid. No goals: these
# rows show the part of every other ratio that does not grow with the data.
set -euo pipefail
. "$(dirname "$(realpath "$0")")/lib.sh"
bench_init "${1:-build}"

[ -e "$bench_data/sample/dem.tif" ] || "$plenth" sample-data "$bench_data/sample" > /dev/null
compare start-tools - "start: plenth tools" "$plenth tools" "gdalinfo --version"
mkdir -p "$work/out"
compare start-export-sample - "export of the sample DEM" \
  "$plenth export-grid $bench_data/sample/dem.tif $work/out/dem" \
  "gdal_translate -q -of AAIGrid $bench_data/sample/dem.tif $work/out/dem.asc" \
  "rm -f $work/out/dem.dat" "sh -c 'rm -f $work/out/dem.asc $work/out/dem.prj $work/out/dem.asc.aux.xml'"
