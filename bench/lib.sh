# Shared by the comparison scripts: sourced, not run. Every comparison is timed here, with
# hyperfine, and every data set they share is made here.
#
#   PLENTH_BENCH_RUNS   timed runs of each side (default 5), after one warm-up run each
#   PLENTH_BENCH_SIZES  the sides of the square rasters (default "2000 4000")
#   PLENTH_BENCH_KINDS  the kinds of data (default "smooth rough")

bench_here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
bench_runs=${PLENTH_BENCH_RUNS:-5}
bench_sizes=${PLENTH_BENCH_SIZES:-2000 4000}
bench_kinds=${PLENTH_BENCH_KINDS:-smooth rough}

# bench_init BUILD: plenth of that build, its results directory ($bench_out: hyperfine's
# JSON, the table's lines, the shared data), a work directory ($work, removed at exit) and
# a registry of its own, the module registered there before any clock starts.
bench_init() {
  local build=${1:-build}
  plenth=$(realpath "$build/bin/plenth")
  bench_out=$(realpath -m "$build/bench")
  bench_data=$bench_out/data
  mkdir -p "$bench_out/json" "$bench_data"
  work=$(mktemp -d "${TMPDIR:-/tmp}/plenth-bench.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  export XDG_DATA_HOME="$work/xdg"
  "$plenth" tools > /dev/null
}

# bench_rasters KIND SIDE: makes, once, the rasters of a kind at a side and prints the
# path they share: PREFIX-dem.tif (FLOAT), PREFIX-short.tif (SHORT), PREFIX-trails.tif,
# PREFIX-streams.tif and PREFIX-groundcover.tif (bytes). All lie on one grid: SIDE x SIDE
# square cells over 10 km from (500000, 4100000) in UTM zone 33N, where the vector data
# lies too.
#   smooth: the sample data's rasters resampled (the DEM bilinear, the classes nearest)
#   rough:  uniform random heights and random class rasters (bench/roughdata.py)
bench_rasters() {
  local prefix="$bench_data/$1-$2"
  [ -e "$prefix.made" ] || { bench_make_rasters "$1" "$2" "$prefix" && touch "$prefix.made"; }
  echo "$prefix"
}

# bench_make_rasters KIND SIDE PREFIX: makes those rasters at PREFIX.
bench_make_rasters() {
  local kind=$1 side=$2 prefix=$3
  if [ "$kind" = smooth ]; then
    [ -e "$bench_data/sample/dem.tif" ] || "$plenth" sample-data "$bench_data/sample" > /dev/null
    local grid=(-outsize "$side" "$side" -a_ullr 500000 4100000 510000 4090000) name
    gdal_translate -q "${grid[@]}" -r bilinear -ot Float32 "$bench_data/sample/dem.tif" "$prefix-dem.tif"
    gdal_translate -q "${grid[@]}" -r bilinear -ot Int16 "$bench_data/sample/dem.tif" "$prefix-short.tif"
    for name in trails streams groundcover; do
      gdal_translate -q "${grid[@]}" -r near "$bench_data/sample/$name.tif" "$prefix-$name.tif"
    done
  elif [ "$kind" = rough ]; then
    /usr/bin/python3 "$bench_here/roughdata.py" "$prefix" "$side"
  else
    echo "bench: no data of kind $kind" >&2
    return 1
  fi
}

# compare ID GOAL TITLE OURS PEER [OURS_PREPARE [PEER_PREPARE]]
# Times two commands (each one command line, run without a shell; wrap it in sh -c when
# it needs one) in bench_runs rounds of one run of each, the order swapped from one round
# to the next so that a machine that drifts weighs on both alike; the first round begins
# with a warm-up run of each. A prepare command runs before each run of its side, outside
# the clock. Prints min, median and max of each side and the ratio of the medians, ours
# over peer, against GOAL ("<=X", "<X" or "-"); hyperfine's JSON stays in $bench_out.
# PEER_PREPARE is OURS_PREPARE unless given.
compare() {
  local id=$1 goal=$2 title=$3 ours=$4 peer=$5 ours_prepare=${6:-true} peer_prepare=${7:-${6:-true}}
  local r files=() warm
  for ((r = 1; r <= bench_runs; r++)); do
    local json="$bench_out/json/$id.$r.json"
    warm=()
    [ "$r" = 1 ] && warm=(--warmup 1)
    if ((r % 2)); then
      hyperfine -N --style none "${warm[@]}" --runs 1 --export-json "$json" \
        --prepare "$ours_prepare" --prepare "$peer_prepare" "$ours" "$peer" > /dev/null
    else
      hyperfine -N --style none "${warm[@]}" --runs 1 --export-json "$json" \
        --prepare "$peer_prepare" --prepare "$ours_prepare" "$peer" "$ours" > /dev/null
    fi
    files+=("$json")
  done
  /usr/bin/python3 "$bench_here/report.py" row "$bench_out" "$id" "$goal" "$title" "$ours" "$peer" "${files[@]}"
}

# value ID GOAL TITLE VALUE [NOTE]: a figure measured otherwise, for the table.
value() {
  /usr/bin/python3 "$bench_here/report.py" value "$bench_out" "$@"
}
