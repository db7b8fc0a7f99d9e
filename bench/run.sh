#!/usr/bin/env bash
# Runs every benchmark executable of a build directory.
set -euo pipefail
build=${1:-build}
for b in "$build"/bin/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_counters_tabular=true
done
echo "== plenth beside GDAL"
"$(dirname "$0")/compare_gdal.sh" "$build"
"$(dirname "$0")/compare_vector.sh" "$build"
"$(dirname "$0")/compare_effort.sh" "$build"
echo "== plenth point-grid beside ogr2ogr"
"$(dirname "$0")/compare_pointgrid.sh" "$build"
