#!/usr/bin/env bash
# Times the whole effort surface run of plenth (dialog, worker thread, reads, kernel,
# four bands written) on a 4000 x 4000 FLOAT DEM with byte class rasters, beside
# `gdaldem slope` on the same DEM (the lightest per-cell work on the same grid), and
# prints the ratio from one run. Then the same run on a 20000 x 20000 DEM, made here and
# deleted after (about 9 GB on disk with its output): its time, its time per cell against
# the 4000 x 4000 run's, and its peak resident memory. PLENTH_BENCH_LARGE=0 skips it.
set -euo pipefail
build=${1:-build}
plenth="$(realpath "$build/bin/plenth")"
work=$(mktemp -d "${TMPDIR:-/tmp}/plenth-effort.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/xdg"

"$plenth" sample-data "$work/sample" > /dev/null

# Rasters of side N from the sample, with square cells over the sample's extent.
make_rasters() {
  local side=$1 prefix=$2 cell
  cell=$(echo "9000 / $side" | bc -l)
  local ullr=(-a_ullr 500000 4107200 "$(echo "500000 + $side * $cell" | bc -l)" "$(echo "4107200 - $side * $cell" | bc -l)")
  gdal_translate -q -outsize "$side" "$side" "${ullr[@]}" -r bilinear -ot Float32 "$work/sample/dem.tif" "$prefix-dem.tif"
  for name in trails streams groundcover; do
    gdal_translate -q -outsize "$side" "$side" "${ullr[@]}" -r near "$work/sample/$name.tif" "$prefix-$name.tif"
  done
}

# Runs the effort surface on the rasters of a prefix under /usr/bin/time -v; prints the
# wall time in seconds and the peak resident memory in kB.
effort() {
  local prefix=$1 out=$2
  /usr/bin/time -v -o "$work/time.txt" "$plenth" effort-surface --dem "$prefix-dem.tif" --trails "$prefix-trails.tif" \
    --roads "$prefix-trails.tif" --streams "$prefix-streams.tif" --cover "$prefix-groundcover.tif" "$out" > /dev/null
  local wall rss
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time.txt" |
         awk -F: '{ if (NF == 3) print $1 * 3600 + $2 * 60 + $3; else print $1 * 60 + $2 }')
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
  echo "$wall $rss"
}

. "$(dirname "$(realpath "$0")")/lib.sh"

make_rasters 4000 "$work/r4000"
mkdir -p "$work/out"
read -r small small_rss < <(effort "$work/r4000" "$work/out/small")
gdal=$(seconds gdaldem slope -q "$work/r4000-dem.tif" "$work/out/slope.tif")
printf '%-22s %10s %10s %8s %12s\n' raster plenth gdaldem ratio "peak RSS"
printf '%-22s %9.2fs %9.2fs %8.2f %9d MB\n' "4000 x 4000 FLOAT" "$small" "$gdal" "$(echo "$small / $gdal" | bc -l)" \
  $((small_rss / 1024))
echo "(ratio = plenth time / gdaldem slope time; the goal is at most 1.5)"
rm -f "$work"/r4000-* "$work"/out/*

# The large rasters with their output take about 9 GB; without room for them (and 2 GB
# to spare) the large run is left out.
free_kb=$(df --output=avail -k "$work" | tail -1)
if [ "${PLENTH_BENCH_LARGE:-1}" != 0 ] && [ "$free_kb" -lt $((11 * 1024 * 1024)) ]; then
  echo "20000 x 20000 FLOAT: left out, $((free_kb / 1024)) MB free in $work (11 GB needed; TMPDIR picks another place)"
elif [ "${PLENTH_BENCH_LARGE:-1}" != 0 ]; then
  make_rasters 20000 "$work/r20000"
  read -r large large_rss < <(effort "$work/r20000" "$work/out/large")
  per_cell=$(echo "($large / 400000000) / ($small / 16000000)" | bc -l)
  printf '%-22s %9.2fs %10s %8s %9d MB\n' "20000 x 20000 FLOAT" "$large" "" "" $((large_rss / 1024))
  printf 'time per cell against the 4000 x 4000 run: %.2f (the goal is at most 1.2); peak RSS goal: under 1024 MB\n' \
    "$per_cell"
fi
