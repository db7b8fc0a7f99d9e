#!/usr/bin/env bash
# The whole effort surface run of plenth (dialog, worker thread, reads, kernel, four bands
# written) beside `gdaldem slope` on the same DEM (the lightest per-cell work on the same
# grid), on FLOAT and SHORT DEMs with byte class rasters, both kinds of data, every size.
# Then one run on a 20000 x 20000 FLOAT DEM, made here and deleted after (about 9 GB on
# disk with its output): its time per cell against the 4000 x 4000 run's median and its
# peak resident memory. PLENTH_BENCH_LARGE=0 leaves it out.
set -euo pipefail
. "$(dirname "$(realpath "$0")")/lib.sh"
bench_init "${1:-build}"

declare -A name=([dem]=FLOAT [short]=SHORT)
declare -A goal=([dem]="<=1.5" [short]="-")
mkdir -p "$work/out"
effort() {  # prefix dem output: the effort run's command line
  echo "$plenth effort-surface --dem $1-$2.tif --trails $1-trails.tif --roads $1-trails.tif" \
       "--streams $1-streams.tif --cover $1-groundcover.tif $3"
}
for side in $bench_sizes; do
  for kind in $bench_kinds; do
    prefix=$(bench_rasters "$kind" "$side")
    for type in dem short; do
      compare "effort-${name[$type],,}-$kind-$side" "${goal[$type]}" "effort ${name[$type]} $kind $side" \
        "$(effort "$prefix" "$type" "$work/out/effort")" \
        "gdaldem slope -q $prefix-$type.tif $work/out/slope.tif" \
        "sh -c 'rm -f $work/out/effort.tif $work/out/EffortSurface_log.txt && sync'" \
        "sh -c 'rm -f $work/out/slope.tif && sync'"
    done
  done
done
rm -f "$work"/out/*

# The large rasters with their output take about 9 GB; without room for them (and 2 GB
# to spare) the large run is left out.
reference=effort-float-smooth-4000
free_kb=$(df --output=avail -k "$work" | tail -1)
if [ "${PLENTH_BENCH_LARGE:-1}" = 0 ]; then
  exit 0
elif [ ! -e "$bench_out/$reference.json" ]; then
  echo "20000 x 20000 FLOAT: left out, no 4000 x 4000 smooth run to set it against"
elif [ "$free_kb" -lt $((11 * 1024 * 1024)) ]; then
  echo "20000 x 20000 FLOAT: left out, $((free_kb / 1024)) MB free in $work (11 GB needed; TMPDIR picks another place)"
else
  bench_make_rasters smooth 20000 "$work/large"
  large=$work/large
  /usr/bin/time -v -o "$work/time.txt" "$plenth" effort-surface --dem "$large-dem.tif" --trails "$large-trails.tif" \
    --roads "$large-trails.tif" --streams "$large-streams.tif" --cover "$large-groundcover.tif" "$work/out/large" > /dev/null
  # Wall time in seconds and peak resident memory in kB.
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time.txt" |
         awk -F: '{ if (NF == 3) print $1 * 3600 + $2 * 60 + $3; else print $1 * 60 + $2 }')
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
  small=$(/usr/bin/python3 "$bench_here/report.py" median "$bench_out" "$reference")
  value effort-large-per-cell "<=1.2" "effort 20000: time per cell" \
    "$(echo "($wall / 400000000) / ($small / 16000000)" | bc -l)" "(one run of ${wall} s, against the 4000 smooth median)"
  value effort-large-rss "<1024" "effort 20000: peak RSS MB" "$((rss / 1024))" "(one run)"
fi
