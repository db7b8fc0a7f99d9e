#!/usr/bin/env bash
# Runs every fuzzer of BUILD for SECONDS (default 60) at the lowest priority, from the
# seeds kept in fuzz/seeds; new inputs go to BUILD/corpus, failing ones to BUILD/findings.
# Usage: scripts/fuzz.sh BUILD [SECONDS] [NAME...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
seconds=${2:-60}
shift $(( $# > 1 ? 2 : 1 ))
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(gridfile regtext rgs rc mapdoc raster shapefile)

# Longest input per reader: the module's resource script is some 11 kB.
max_len() {
  case $1 in
    rc) echo 16384 ;;
    raster | shapefile) echo 8192 ;;
    *) echo 4096 ;;
  esac
}

status=0
for name in "${names[@]}"; do
  corpus=$build/corpus/$name
  findings=$build/findings/$name
  mkdir -p "$corpus" "$findings"
  echo "fuzz $name: ${seconds}s"
  if ! ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      nice -n 19 "$build/bin/fuzz_$name" "$corpus" "fuzz/seeds/$name" \
      -max_total_time="$seconds" -max_len="$(max_len "$name")" -rss_limit_mb=2048 -timeout=25 \
      -artifact_prefix="$findings/" -print_final_stats=1 2>"$build/findings/$name.log"; then
    echo "fuzz $name: FAILED, see $build/findings/$name.log and the input in $findings/"
    status=1
  fi
  tail -n 12 "$build/findings/$name.log" | grep -E '^(stat::|Done|#)' | tail -n 4 || true
done
exit $status
