#!/usr/bin/env bash
# make bench: the kernels' benchmarks, then every comparison of plenth beside the tools a
# GIS user would take, each timed with hyperfine, and at the end one table of every ratio
# with its goal. Hyperfine's JSON and the table's lines stay in BUILD/bench.
set -euo pipefail
build=${1:-build}
here=$(dirname "$(realpath "$0")")
# Every run from data made anew and an empty table. The directory is also where CMake builds
# the benchmarks (their CMakeFiles and install script): only what the runs wrote goes.
mkdir -p "$build/bench"
rm -rf "$build/bench/json" "$build/bench/data" "$build/bench/results.jsonl"
find "$build/bench" -maxdepth 1 -name '*.json' -delete
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
echo "== the effort surface on a Dask cluster of local workers beside plenth"
"$here/compare_cluster.sh" "$build"
echo
echo "== every comparison (ratio = median of ours / median of the peer's; goal met?)"
/usr/bin/python3 "$here/report.py" table "$build/bench"
echo "($(nproc) cores; load average $load_before at the start, $(cut -d' ' -f1-3 /proc/loadavg) at the end:" \
  "figures taken beside other work are not measurements)"
