# Shared by the comparison scripts: sourced, not run.

seconds() {  # runs a command quietly and prints its wall time in seconds
  local start end
  start=$(date +%s.%N)
  "$@" > /dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
