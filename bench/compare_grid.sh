#!/usr/bin/env bash
# The text grid beside GDAL's ASCII grid: plenth export-grid beside gdal_translate -of
# AAIGrid, and plenth import-grid of that file beside gdal_translate of GDAL's file back
# to GeoTIFF, on FLOAT and SHORT rasters of both kinds of data at every size. Each run
# writes a new file: the output of the run before is removed, and the disks synced, outside
# the clock. The goals are set for 4000 x 4000 rasters; at other sizes the ratios are shown
# without one.
set -euo pipefail
. "$(dirname "$(realpath "$0")")/lib.sh"
bench_init "${1:-build}"

declare -A name=([dem]=FLOAT [short]=SHORT)
declare -A export_goal=([dem]="<=0.08" [short]="<=0.15")
declare -A import_goal=([dem]="<=0.10" [short]="<=0.20")
for side in $bench_sizes; do
  for kind in $bench_kinds; do
    prefix=$(bench_rasters "$kind" "$side")
    for type in dem short; do
      out="$work/$kind-$side-$type"
      mkdir -p "$out"
      what="${name[$type]} $kind $side"
      id="${name[$type],,}-$kind-$side"
      goal=("${export_goal[$type]}" "${import_goal[$type]}")
      [ "$side" = 4000 ] || goal=(- -)
      compare "export-$id" "${goal[0]}" "export $what" \
        "$plenth export-grid $prefix-$type.tif $out/grid" \
        "gdal_translate -q -of AAIGrid $prefix-$type.tif $out/grid.asc" \
        "sh -c 'rm -f $out/grid.dat && sync'" "sh -c 'rm -f $out/grid.asc $out/grid.prj $out/grid.asc.aux.xml && sync'"
      # Each reads the file its own export wrote.
      compare "import-$id" "${goal[1]}" "import $what" \
        "$plenth import-grid $out/grid.dat $out/back" \
        "gdal_translate -q $out/grid.asc $out/back_gdal.tif" \
        "sh -c 'rm -f $out/back.tif && sync'" "sh -c 'rm -f $out/back_gdal.tif && sync'"
      rm -rf "$out"
    done
  done
done
