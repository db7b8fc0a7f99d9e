#!/usr/bin/env bash
# make bench: the kernels' benchmarks, then every comparison of plenth beside the tools a
# GIS user would take, each timed with hyperfine, and at the end one table of every ratio
# with its goal. Hyperfine's JSON and the table's lines stay in BUILD/bench.
set -euo pipefail
build=${1:-build}
here=$(dirname "$(realpath "$0")")
rm -rf "$build/bench"  # every run from data made anew and an empty table
mkdir -p "$build/bench"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for b in "$build"/bin/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_counters_tabular=true
done
echo "== a start of plenth beside a start of GDAL's tools"
"$here/compare_startup.sh" "$build"
echo "== the text grid beside gdal_translate"
"$here/compare_grid.sh" "$build"
echo "== grid spot, class counts and line orientation beside GDAL's tools"
"$here/compare_vector.sh" "$build"
echo "== the effort surface beside gdaldem slope"
"$here/compare_effort.sh" "$build"
echo "== the point grid beside ogr2ogr"
"$here/compare_pointgrid.sh" "$build"
echo
echo "== every comparison (ratio = median of ours / median of the peer's; goal met?)"
/usr/bin/python3 "$here/report.py" table "$build/bench"
echo "($(nproc) cores; load average $load_before at the start, $(cut -d' ' -f1-3 /proc/loadavg) at the end:" \
  "figures taken beside other work are not measurements)"
