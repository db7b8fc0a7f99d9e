#!/usr/bin/env bash
# The effort surface on a Dask cluster of two worker processes on this machine
# (python3 -m plenthtools.cluster) beside plenth effort-surface on the same 8000 x 8000
# FLOAT DEM, and the workers' peak resident memory in one run measured from inside
# (bench/cluster_run.py). Then one run on a 40000 x 40000 FLOAT DEM, made here and deleted
# after (about 37 GB on disk with its output): its time, cells per second, the workers'
# peak memory, and rows on both sides of task boundaries checked against
# effort_bands(rows=...). PLENTH_BENCH_LARGE=0 leaves it out. The per-task figures printed
# (time, bytes read and given back) are those the README's scaling model starts from.
set -euo pipefail
. "$(dirname "$(realpath "$0")")/lib.sh"
build=${1:-build}
bench_init "$build"
export PYTHONPATH=$(realpath "$build/python")${PYTHONPATH:+:$PYTHONPATH}
if ! /usr/bin/python3 -c "import distributed" 2> /dev/null; then
  echo "cluster: left out, Dask's distributed scheduler is not installed (scripts/setup.sh installs it)"
  exit 0
fi

mkdir -p "$work/out"
prefix=$(bench_rasters smooth 8000)
inputs="--dem $prefix-dem.tif --trails $prefix-trails.tif --roads $prefix-trails.tif --streams $prefix-streams.tif"
inputs+=" --cover $prefix-groundcover.tif"
compare cluster-effort-8000 "<=1.3" "cluster effort FLOAT 8000, 2 local workers" \
  "/usr/bin/python3 -m plenthtools.cluster effort-surface $inputs --local-workers 2 $work/out/cluster.tif" \
  "$plenth effort-surface $inputs $work/out/effort" \
  "sh -c 'rm -f $work/out/cluster.tif $work/out/effort.tif $work/out/EffortSurface_log.txt && sync'"
rm -f "$work"/out/*

run=$(/usr/bin/python3 "$bench_here/cluster_run.py" "$prefix" "$work/out/run.tif" --workers 2)
echo "8000 x 8000, one run: $run"
value cluster-8000-worker-rss "<1024" "cluster effort 8000: peak RSS MB per worker" \
  "$(echo "$run" | /usr/bin/python3 -c 'import json, sys; print(max(json.load(sys.stdin)["worker_peak_rss_mb"]))')" \
  "(one run, 2 workers)"
rm -f "$work"/out/*

# The inputs take about 11 GB, the output 25.6 GB; without room for them (and 2 GB to
# spare) the large run is left out.
free_kb=$(df --output=avail -k "$work" | tail -1)
if [ "${PLENTH_BENCH_LARGE:-1}" = 0 ]; then
  exit 0
elif [ "$free_kb" -lt $((40 * 1024 * 1024)) ]; then
  echo "40000 x 40000 FLOAT: left out, $((free_kb / 1024)) MB free in $work (40 GB needed; TMPDIR picks another place)"
else
  bench_make_rasters smooth 40000 "$work/large"
  run=$(/usr/bin/python3 "$bench_here/cluster_run.py" "$work/large" "$work/out/large.tif" --workers 2 --check)
  rm -f "$work"/large-* "$work"/out/*
  echo "40000 x 40000, one run: $run"
  field() { echo "$run" | /usr/bin/python3 -c "import json, sys; v = json.load(sys.stdin)[\"$1\"]; print(max(v) if isinstance(v, list) else v)"; }
  value cluster-large-time - "cluster effort 40000: seconds" "$(field wall_s)" "(one run, 2 workers)"
  value cluster-large-rate - "cluster effort 40000: cells/s" "$(field cells_per_s)" "(one run)"
  value cluster-large-rss "<1024" "cluster effort 40000: peak RSS MB per worker" "$(field worker_peak_rss_mb)" \
    "(one run; rows at task boundaries identical)"
fi
